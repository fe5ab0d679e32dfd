#pragma once

class VKWebNavigationView;

// Where the browser's bar sits over the scrolled page. The bar lives in the
// page's scrolled content: at rest it is at the page's top and scrolls away
// with it; when a load starts below the bar's height it comes down into
// sight from just above what shows; when the load has ended it slides back
// to the page's top, faster the closer it is.
class VKWebBarMotion {
public:
    // `top` is the top of what shows of the page.
    static void slideIntoSight(VKWebNavigationView& bar, float top);
    static void moveToTop(VKWebNavigationView& bar, bool animated);
};
