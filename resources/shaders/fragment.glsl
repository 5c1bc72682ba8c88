#version 330
in vec2 uv;
out vec4 fragColor;
uniform sampler2D texSampler0;
uniform sampler2D texSampler1;
uniform sampler2D texSampler2;
uniform bool solidColor;
uniform vec4 solidColorRGB;
uniform bool linear;
uniform bool yuv;
uniform bool rec709;
uniform bool rec2020;
uniform float alpha;

void main()
{
    if (solidColor) {
        fragColor = vec4(solidColorRGB.rgb, alpha);
    } else if (linear) {
        fragColor = vec4(pow(texture(texSampler0, uv).rgb, vec3(1.0 / 2.2)), 1.0);
    } else if (yuv) {
        float y = texture(texSampler0, uv).r;
        float u = texture(texSampler1, uv).r - 0.5;
        float v = texture(texSampler2, uv).r - 0.5;
        float k = 255.0 / 224.0;
        vec3 rgb;
        if (rec709) {
            y = (y - 16.0 / 255.0) * 255.0 / 219.0;
            rgb = vec3(y + 1.5748 * k * v, y - 0.1873 * k * u - 0.4681 * k * v, y + 1.8556 * k * u);
        } else if (rec2020) {
            rgb = vec3(y + 1.4746 * v, y - 0.1646 * u - 0.5714 * v, y + 1.8814 * u);
            rgb = pow(max(rgb, vec3(0.0)), vec3(2.4));
            rgb = vec3(1.6605 * rgb.r - 0.5876 * rgb.g - 0.0728 * rgb.b,
                       -0.1246 * rgb.r + 1.1329 * rgb.g - 0.0083 * rgb.b,
                       -0.0182 * rgb.r - 0.1006 * rgb.g + 1.1187 * rgb.b);
            rgb = pow(max(rgb, vec3(0.0)), vec3(1.0 / 2.2));
        } else {
            y = (y - 16.0 / 255.0) * 255.0 / 219.0;
            rgb = vec3(y + 1.403 * k * v, y - 0.344 * k * u - 0.714 * k * v, y + 1.770 * k * u);
        }
        fragColor = vec4(rgb, alpha);
    } else {
        vec4 texel = texture(texSampler0, uv);
        fragColor = vec4(texel.rgb, texel.a * alpha);
    }
}
