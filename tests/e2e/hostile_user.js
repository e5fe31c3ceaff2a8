// A hostile local user's script against the running settings service and
// agent: each attack must be refused. Exit code 1 when one went through.
// With the argument "warm-up" it only meets both servers.
var failures = 0;
var agent = new ActiveXObject("Krellin.KrellinIF.1");
if (WScript.Arguments.length > 0) {
    new ActiveXObject("KrellinSvc.Registry.1").TopFolder;
    WScript.Quit(agent.IsServeReady == 1 ? 0 : 1);
}

function refused(what, code, attack) {
    try {
        attack();
    } catch (e) {
        if ((e.number >>> 0) == code) return;
        WScript.Echo(what + ": failed with " + (e.number >>> 0).toString(16));
        failures++;
        return;
    }
    WScript.Echo(what + ": went through");
    failures++;
}

function aim(root, parts) {
    var reg = new ActiveXObject("KrellinSvc.Registry.1");
    var names = ["TopFolder", "Company", "Product", "Version", "SubFolder"];
    reg.TopLevelKey = root;
    for (var i = 0; i < parts.length; i++) reg[names[i]] = parts[i];
    return reg;
}

var machine = -2147483646, classes = -2147483648;
var accessDenied = 0x80070005, invalidArgument = 0x80070057;

refused("logon program", accessDenied, function () {
    aim(machine, ["Software\\Microsoft\\Windows\\CurrentVersion", "Run", ""])
        .SetAppString("VxScript", "C:\\evil.exe");
});
refused("service program", accessDenied, function () {
    aim(machine, ["System", "CurrentControlSet\\Services", "KrellinSvc"])
        .SetAppString("ImagePath", "C:\\evil.exe");
});
refused("class server", accessDenied, function () {
    aim(classes, ["CLSID", "{E123E9FA-7DAD-4606-8655-073299C61F8B}", "LocalServer32"])
        .SetAppString("", "C:\\evil.exe");
});
refused("reading another key", accessDenied, function () {
    aim(machine, ["Software", "Microsoft", "Windows NT", "CurrentVersion"])
        .GetAppString("ProductName", "default");
});
refused("sound from another host", invalidArgument, function () {
    agent.AudioFileName = "\\\\attacker\\share\\a.wav";
});
refused("sound from the web", invalidArgument, function () {
    agent.AudioFileName = "http://attacker/a.wav";
});
WScript.Quit(failures == 0 ? 0 : 1);
