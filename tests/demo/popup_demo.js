var phase = WScript.Arguments.length > 0 ? WScript.Arguments(0) : "";
var browser;

function outcome(id) {
    var state = browser.State(id), has = function (word) { return state.indexOf(word) >= 0; };
    if (!has("closed")) return state == "visible" ? "shown" : "still hidden";
    if (!has("quit")) return "blocked: the request cancelled, no window made";
    return has("cancelled") ? "blocked: navigation cancelled, window closed"
                            : "blocked: window closed";
}

function popup(opener, url, why, events, flags) {
    var id = browser.OpenPopup(opener, url, events || 2, flags || 0);
    WScript.Echo("  popup " + url + " (" + why + ") -> " + outcome(id));
    return id;
}

try {
browser = new ActiveXObject("BrowserDouble.Script");
if (phase == "open") {
    var opener = browser.OpenWindow("http://www.opener.com/index.html", false, true);
    browser.OpenWindow("file:///C:/users", true, true);
    WScript.Echo("Opened a browser window (id " + opener + ") and a folder window.");
} else if (phase == "popups") {
    var agent = new ActiveXObject("Krellin.KrellinIF.1");
    // WScript.Sleep is not available here: ask until the agent is ready.
    for (var i = 0; i < 500000 && agent.IsServeReady != 1; i++) {}
    if (agent.IsServeReady != 1) { WScript.Echo("The agent did not become ready."); WScript.Quit(1); }
    WScript.Echo("Agent ready; " + agent.BlockedCount + " popups blocked so far.");
    var opener = 1;
    popup(opener, "http://ads.elsewhere-network.net/banner.html", "unknown site");
    var shop = popup(opener, "http://shop.opener.com/offer.html", "opener's site");
    popup(opener, "http://news.favourite-paper.com/today", "a favourite's site");
    popup(opener, "http://start.example.net/home", "the start page");
    popup(opener, "http://www.quandrel.com/", "the maker's site");
    popup(opener, "http://tracker.elsewhere-network.net/pixel", "unknown site");
    browser.AskFixedSize(shop);
    WScript.Echo("  the opener's-site popup asks for a fixed size -> " + outcome(shop));
    var late = browser.OpenWindow("", false, false);
    browser.Navigate(late, "http://pop.elsewhere-network.net/");
    WScript.Echo("  a window that appeared after start-up navigates to an unknown site -> " + outcome(late));
    WScript.Echo("Pages of a newer browser ask through NewWindow3, which tells a click:");
    popup(opener, "http://login.elsewhere-network.net/", "the user clicked for it", 3, 2);
    popup(opener, "http://ads.elsewhere-network.net/pop-under.html", "nobody clicked", 3);
    WScript.Echo("Recently blocked, newest first (" + agent.RecentBlockedCount + "):");
    for (var i = 0; i < agent.RecentBlockedCount; i++)
        WScript.Echo("  " + i + ": " + agent.RecentBlockedUrl(i));
    agent.ShowBlocked(0);
    var anyway = browser.LastWindow;
    WScript.Echo("  the newest opened anyway -> " + browser.LocationURL(anyway) + " " + outcome(anyway));
    agent.AllowedSites = "opener.com";
    WScript.Echo("Popups from opener.com always allowed: AllowedSites = " + agent.AllowedSites);
    popup(opener, "http://ads.elsewhere-network.net/pop-under.html", "from an allowed site", 3);
    WScript.Echo("Blocked in all: " + agent.BlockedCount);
    agent.Visible = 1;
} else if (phase == "settings") {
    var agent = new ActiveXObject("Krellin.KrellinIF.1"), text = "Agent settings:";
    var names = ["MuteAudio", "AllowSameSite", "KillFixedSize", "BypassKeys", "ShowTray",
                 "AllowUserInitiated", "NotifyOnBlock", "AllowedSites"];
    for (var n = 0; n < names.length; n++) text += " " + names[n] + "=" + agent[names[n]];
    WScript.Echo(text);
} else if (phase == "quit") {
    var agent = new ActiveXObject("Krellin.KrellinIF.1");
    agent.Quit();
    browser.Shutdown();
    WScript.Echo("Agent and browser double told to quit.");
}
} catch (e) {
    WScript.Echo("The " + phase + " step failed: " + e.description + " (" + e.number + ")");
    WScript.Quit(1);
}
