// The web view's own script in every page, in a script world of its own
// that the page's scripts cannot reach. It reports where the page is
// scrolled and how large it is (CSS pixels) and the page's uncaught script
// errors and whether a field that takes typing has the focus, and answers the view's questions: where it is now, what lies under
// a point, scroll to a place.
var __tandry = (function () {
    'use strict';
    var handlers = window.webkit && window.webkit.messageHandlers;
    var handler = handlers && handlers.tandry;
    var last = '';
    var timer = 0;

    function post(message) {
        if (handler)
            handler.postMessage(message);
    }

    function place() {
        var root = document.documentElement;
        var body = document.body;
        return {
            kind: 'metrics',
            x: window.scrollX,
            y: window.scrollY,
            width: Math.max(root ? root.scrollWidth : 0, body ? body.scrollWidth : 0),
            height: Math.max(root ? root.scrollHeight : 0, body ? body.scrollHeight : 0),
            viewportWidth: window.innerWidth,
            viewportHeight: window.innerHeight
        };
    }

    function keyOf(metrics) {
        return [metrics.x, metrics.y, metrics.width, metrics.height, metrics.viewportWidth,
            metrics.viewportHeight].join(',');
    }

    function report() {
        timer = 0;
        var metrics = place();
        var key = keyOf(metrics);
        if (key === last)
            return;
        last = key;
        post(metrics);
    }

    // Bursts of changes (a scroll, a growing page) make one report.
    function schedule() {
        if (!timer)
            timer = window.setTimeout(report, 16);
    }

    window.addEventListener('scroll', schedule, true);
    window.addEventListener('resize', schedule);
    document.addEventListener('DOMContentLoaded', schedule);

    // While the page loads, the parser's every insertion would be a change
    // to hear, and each report a layout forced in the middle of parsing:
    // its growth is heard from layout itself instead, the root and the body
    // telling their new sizes once a frame after layout has run (looked for
    // as the parser makes them). Once loaded, any change of the document
    // may change its size.
    var sizes = window.ResizeObserver ? new ResizeObserver(function () {
        window.clearTimeout(timer);
        report(); // layout has just run: nothing is forced
    }) : null;
    var sized = [];
    function watchSizes() {
        [document.documentElement, document.body].forEach(function (node) {
            if (node && sized.indexOf(node) < 0) {
                sized.push(node);
                sizes.observe(node);
            }
        });
    }
    function watchChanges() {
        new MutationObserver(schedule).observe(document, {
            childList: true, subtree: true, attributes: true, characterData: true
        });
        schedule();
    }
    if (!sizes || document.readyState === 'complete') {
        watchChanges();
    } else {
        var looking = window.setInterval(function () {
            watchSizes();
            if (document.body)
                window.clearInterval(looking);
        }, 50);
        document.addEventListener('DOMContentLoaded', watchSizes);
        window.addEventListener('load', function () {
            window.clearInterval(looking);
            watchChanges();
        });
    }
    window.addEventListener('error', function (event) {
        post({
            kind: 'error',
            message: String(event.message || ''),
            source: String(event.filename || ''),
            line: Number(event.lineno) || 0
        });
    });
    schedule();

    // Whether a field that takes typing has the focus, told when it changes
    // (the app hides its bars while one does).
    var editing = false;
    function takesTyping(node) {
        if (!node || node.nodeType !== 1)
            return false;
        if (node.isContentEditable || node.tagName === 'TEXTAREA' || node.tagName === 'SELECT')
            return true;
        if (node.tagName !== 'INPUT')
            return false;
        var type = String(node.type || 'text').toLowerCase();
        return ['button', 'checkbox', 'color', 'file', 'hidden', 'image', 'radio', 'range', 'reset',
            'submit'].indexOf(type) < 0;
    }
    function focusChanged() {
        var now = takesTyping(document.activeElement);
        if (now === editing)
            return;
        editing = now;
        post({ kind: 'focus', editable: now });
    }
    document.addEventListener('focusin', focusChanged, true);
    // The focus moves on after focusout: look once it has landed.
    document.addEventListener('focusout', function () { window.setTimeout(focusChanged, 0); }, true);

    return {
        // The place a picture is taken of: the view hears it with the
        // picture, so it is not reported again.
        place: function () {
            var metrics = place();
            last = keyOf(metrics);
            return metrics;
        },
        scrollTo: function (x, y) {
            window.scrollTo(x, y);
            return true;
        },
        elementAt: function (x, y) {
            var found = { link: '', src: '', alt: '' };
            for (var node = document.elementFromPoint(x, y); node; node = node.parentElement) {
                if (!found.src && node.tagName === 'IMG') {
                    found.src = String(node.currentSrc || node.src || '');
                    found.alt = String(node.getAttribute('alt') || '');
                }
                if (!found.link && (node.tagName === 'A' || node.tagName === 'AREA') && node.href)
                    found.link = String(node.href);
            }
            return found;
        },
        // A tap where the page's widget is off the screen (its picture
        // shows in its place): the element there gets a click, as a
        // person's would, so a link under it is followed.
        clickAt: function (x, y) {
            var node = document.elementFromPoint(x, y);
            if (node)
                node.dispatchEvent(new MouseEvent('click',
                    { bubbles: true, cancelable: true, view: window, clientX: x, clientY: y }));
        }
    };
})();
