#pragma once

// The viewer's layouts; the numbers are what is stored and passed around.
enum ViewerLayoutType : int {
    ViewerLayoutSingle = 0,     // 1 x 1, one viewer
    ViewerLayoutAB = 1,         // 1 x 1, A over B (the wipe shows both)
    ViewerLayoutHorizontal = 2, // 1 x 2, A beside B
    ViewerLayoutVertical = 3,   // 2 x 1, A above B
    ViewerLayoutGrid = 4,       // 2 x 2
};

// 0 black, 1 medium grey, 2 light grey, 3 white.
enum ViewerBackgroundType : int {
    ViewerBackgroundBlack = 0,
    ViewerBackgroundMediumGrey = 1,
    ViewerBackgroundLightGrey = 2,
    ViewerBackgroundWhite = 3,
};

// What the overlay draws over the picture.
enum ViewerOverlayDrawable : int {
    OverlayOff = 0,
    OverlaySafeArea = 1, // frames at 93 % and 90 % of the picture
    OverlayGrid = 2,
    OverlayCenter = 3,
};
