#version 330
layout(location = 0) in vec3 position;
layout(location = 1) in vec2 texCoord;
uniform vec2 panZoomOffset;
uniform float zoomFactor;
out vec2 uv;
void main()
{
    uv = texCoord;
    gl_Position = vec4(zoomFactor * position.x + panZoomOffset.x, zoomFactor * position.y - panZoomOffset.y,
                       zoomFactor * position.z, 1.0);
}
