// Uses every member of a running agent's automation object as a script
// client would, and ends the agent with Quit. Exit code 1 at the first
// answer the agent must not give, 0 when all were right.
// With the argument "churn" it only creates objects in a loop, forever.
var agent = new ActiveXObject("Krellin.KrellinIF.1");

if (WScript.Arguments.length > 0 && WScript.Arguments(0) == "churn") {
    for (;;) {
        var other = new ActiveXObject("Krellin.KrellinIF.1");
        other.BlockedCount;
    }
}

function check(what, got, want) {
    if (got !== want) {
        WScript.Echo(what + ": got " + got + ", want " + want);
        WScript.Quit(1);
    }
}

// WScript.Sleep is not there in every host: ask until the agent is ready.
for (var i = 0; i < 500000 && agent.IsServeReady != 1; i++) {}
check("IsServeReady", agent.IsServeReady, 1);

// The window and the tray icon are left shown: hiding them costs Wine two
// seconds each without a window manager, and Quit follows anyway.
var shownOnly = {Visible: true, ShowTray: true};
var onOff = ["Visible", "MuteAudio", "ShowTray", "AllowSameSite", "KillFixedSize",
             "AllowUserInitiated", "NotifyOnBlock"];
for (var n = 0; n < onOff.length; n++) {
    var name = onOff[n];
    var original = agent[name];
    agent[name] = -1;
    check(name + " = -1", agent[name] != 0, true);
    agent[name] = true;
    check(name + " = true", agent[name] != 0, true);
    if (shownOnly[name]) continue;
    agent[name] = 2;
    check(name + " = 2", agent[name], 0);
    agent[name] = original;
    check(name + " restored", agent[name], original);
}

var keys = agent.BypassKeys;
agent.BypassKeys = 256;
check("BypassKeys = 256", agent.BypassKeys, 256);
agent.BypassKeys = keys;
check("BypassKeys restored", agent.BypassKeys, keys);

var sound = agent.AudioFileName;
agent.AudioFileName = "C:\\Sounds\\from script.wav";
check("AudioFileName", agent.AudioFileName, "C:\\Sounds\\from script.wav");
agent.AudioFileName = sound;
check("AudioFileName restored", agent.AudioFileName, sound);

function refused(what, attempt) {
    try {
        attempt();
    } catch (e) {
        if ((e.number >>> 0) == 0x80070057) return;
        check(what + " fails with", (e.number >>> 0).toString(16), "80070057");
    }
    check(what, "went through", "refused");
}

var sites = agent.AllowedSites;
agent.AllowedSites = " B.example.com \r\n\r\na.example.org\r\nb.example.com";
check("AllowedSites", agent.AllowedSites, "b.example.com\r\na.example.org");
refused("AllowedSites with a path", function () { agent.AllowedSites = "a.example.org/x"; });
check("AllowedSites kept", agent.AllowedSites, "b.example.com\r\na.example.org");
agent.AllowedSites = sites;
check("AllowedSites restored", agent.AllowedSites, sites);

var recent = agent.RecentBlockedCount;
check("RecentBlockedCount", recent >= 0 && recent <= 20, true);
if (recent > 0) check("RecentBlockedUrl", typeof agent.RecentBlockedUrl(0), "string");
refused("RecentBlockedUrl past the end", function () { return agent.RecentBlockedUrl(recent); });
refused("ShowBlocked past the end", function () { agent.ShowBlocked(recent); });

var count = agent.BlockedCount;
check("BlockedCount type", typeof count, "number");
check("BlockedCount read twice", agent.BlockedCount, count);

agent.Quit();
WScript.Quit(0);
