// The help pages' script. The application calls the two functions below
// after each page loaded: who it is, and where its server answers. Values
// are only ever set as text, never as markup.
var help = (function () {
    "use strict";

    function each(selector, action) {
        var found = document.querySelectorAll(selector);
        for (var i = 0; i < found.length; i++)
            action(found[i]);
    }

    // Pages that do not place the addresses in their text show them at
    // their foot.
    function ensureFooter() {
        if (document.querySelector("[data-tandry]"))
            return;
        var footer = document.createElement("p");
        footer.className = "server";
        footer.appendChild(document.createTextNode("Your Tandry server: "));
        var host = document.createElement("span");
        host.setAttribute("data-tandry", "host");
        footer.appendChild(host);
        var also = document.createElement("span");
        also.setAttribute("data-tandry", "bonjour-line");
        also.appendChild(document.createTextNode(" or "));
        var bonjour = document.createElement("span");
        bonjour.setAttribute("data-tandry", "bonjour");
        also.appendChild(bonjour);
        footer.appendChild(also);
        document.body.appendChild(footer);
    }

    return {
        // The application's identifier, and whether the page is shown
        // inside the application (links to it then make no sense).
        setTandryMetadata: function (identifier, insideApplication) {
            document.documentElement.setAttribute("data-application", String(identifier));
            if (insideApplication)
                document.documentElement.className += " inside-application";
        },

        // The server's address on the local network, its announced name
        // (either may be empty), and a note shown instead when there is no
        // address at all.
        setTandryURL: function (hostURL, bonjourURL, note) {
            ensureFooter();
            each("[data-tandry=host]", function (element) {
                element.textContent = hostURL || note;
            });
            each("[data-tandry=bonjour]", function (element) {
                element.textContent = bonjourURL;
            });
            each("[data-tandry=bonjour-line]", function (element) {
                element.style.display = bonjourURL ? "inline" : "none";
            });
            each("[data-tandry=connected]", function (element) {
                element.style.display = hostURL ? "block" : "none";
            });
            each("[data-tandry=unconnected]", function (element) {
                element.style.display = hostURL ? "none" : "block";
            });
        }
    };
})();
