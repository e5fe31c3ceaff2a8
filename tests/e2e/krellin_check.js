// Exit code 1 at a wrong answer; "hostile" and "warm-up" end with 2, as the
// scripting host ends with 0 also when a script fails to run.
var agent = new ActiveXObject("Krellin.KrellinIF.1");
var mode = WScript.Arguments.length > 0 ? WScript.Arguments(0) : "";
while (mode == "churn") new ActiveXObject("Krellin.KrellinIF.1").BlockedCount;
if (mode == "warm-up") WScript.Quit(new ActiveXObject("KrellinSvc.Registry.1").TopFolder ? 2 : 1);

function check(what, got, want) {
    if (got === want) return;
    WScript.Echo(what + ": got " + got + ", want " + want);
    WScript.Quit(1);
}
function put(name, value, want) {
    agent[name] = value;
    check(name + " = " + value, agent[name], want);
}
function refused(what, attempt, code) {
    var got = "went through";
    try { attempt(); } catch (e) { got = (e.number >>> 0).toString(16); }
    check(what, got, code || "80070057");
}

if (mode == "hostile") {
    var names = ["TopFolder", "Company", "Product", "Version", "SubFolder"];
    var attacks = [
        [-2147483646, ["Software\\Microsoft\\Windows\\CurrentVersion", "Run", ""]],
        [-2147483648, ["CLSID", "{E123E9FA-7DAD-4606-8655-073299C61F8B}", "LocalServer32"]]];
    for (var i = 0; i < attacks.length; i++) {
        var reg = new ActiveXObject("KrellinSvc.Registry.1"), path = attacks[i][1];
        reg.TopLevelKey = attacks[i][0];
        for (var p = 0; p < path.length; p++) reg[names[p]] = path[p];
        refused("writing " + path, function () { reg.SetAppString("Vx", "C:\\evil.exe"); }, "80070005");
        refused("reading " + path, function () { reg.GetAppString("ProductName", ""); }, "80070005");
    }
    WScript.Quit(2);
}

// WScript.Sleep is not there in every host: ask until the agent is ready.
for (var i = 0; i < 500000 && agent.IsServeReady != 1; i++) {}
check("IsServeReady", agent.IsServeReady, 1);

// The window and the tray icon (the first two) are left shown: hiding them
// costs Wine two seconds each without a window manager, and Quit follows.
var onOff = ["Visible", "ShowTray", "MuteAudio", "AllowSameSite", "KillFixedSize",
             "AllowUserInitiated", "NotifyOnBlock"];
for (var n = 0; n < onOff.length; n++) {
    var original = agent[onOff[n]];
    put(onOff[n], -1, 1);
    put(onOff[n], true, 1);
    if (n < 2) continue;
    put(onOff[n], 2, 0);
    put(onOff[n], original, original);
}
var keys = agent.BypassKeys, sound = agent.AudioFileName, sites = agent.AllowedSites;
put("BypassKeys", 256, 256);
put("BypassKeys", keys, keys);
put("AudioFileName", "C:\\Sounds\\from script.wav", "C:\\Sounds\\from script.wav");
put("AudioFileName", sound, sound);
put("AllowedSites", " B.example.com \r\n\r\na.example.org\r\nb.example.com",
    "b.example.com\r\na.example.org");
refused("AllowedSites with a path", function () { agent.AllowedSites = "a.example.org/x"; });
check("AllowedSites kept", agent.AllowedSites, "b.example.com\r\na.example.org");
put("AllowedSites", sites, sites);

var recent = agent.RecentBlockedCount;
check("RecentBlockedCount", recent >= 0 && recent <= 20, true);
if (recent > 0) check("RecentBlockedUrl", typeof agent.RecentBlockedUrl(0), "string");
refused("RecentBlockedUrl past the end", function () { return agent.RecentBlockedUrl(recent); });
refused("ShowBlocked past the end", function () { agent.ShowBlocked(recent); });

check("BlockedCount type", typeof agent.BlockedCount, "number");
check("BlockedCount read twice", agent.BlockedCount, agent.BlockedCount);
agent.Quit();
WScript.Quit(0);
