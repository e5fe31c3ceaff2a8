// Uses KrellinSvc.Registry.1 by name, with KrellinSvc.exe (the argument)
// registered as a service. Exit code 1 at a mismatch.
var shell = new ActiveXObject("WScript.Shell");
var failures = 0;

function check(label, got, want) {
    if (got === want) return;
    WScript.Echo("FAIL " + label + ": got [" + got + "], want [" + want + "]");
    failures++;
}

var exe = '"' + WScript.Arguments(0).replace(/\//g, "\\") + '"';
var company = "HKLM\\Software\\Quandrel, Inc.\\", product = company + "Vornix! Popup Blocker\\";
var agentKey = product + "1.00.000\\";

check("registration", shell.Run(exe + " -Service", 0, true), 0);
shell.RegWrite(agentKey, "");
try {
    var reg = new ActiveXObject("KrellinSvc.Registry.1");
    reg.Company = "Quandrel, Inc.";
    reg.Product = "Vornix! Popup Blocker";
    reg.Version = "1.00.000";
    check("Version", reg.Version, "1.00.000");
    reg.SetAppString("AudioFileName", "C:\\Sounds\\ding.wav");
    reg.SetAppDWORD("BlockCount", 41);
    reg.SetAppDWORD("BypassKeys", -1);
    // What is stored is tested in process (RegistryTest). Script arguments
    // travel by value: the calls succeed and leave them be.
    var text = "default", count = 5;
    reg.GetAppString("AudioFileName", text);
    reg.GetAppDWORD("BlockCount", count);
    check("string argument", text, "default");
    check("number argument", count, 5);
    reg.TopLevelKey = -2147483647;
    reg.Reset();
    check("TopLevelKey after Reset", reg.TopLevelKey, -2147483646);
    check("TopFolder after Reset", reg.TopFolder, "Software");
    check("Company after Reset", reg.Company, "");
    reg.DisableMessenger();
    reg.EnableMessenger();
    reg = null;
    CollectGarbage();
} catch (e) {
    WScript.Echo("FAIL exception: " + e.message + " (" + (e.number >>> 0).toString(16) + ")");
    failures++;
} finally {
    shell.Run("net stop KrellinSvc", 0, true);
    shell.Run(exe + " /UnregServer", 0, true);
    try {
        shell.RegDelete(agentKey);
        shell.RegDelete(product);
        shell.RegDelete(company);
    } catch (e) {}
}
WScript.Quit(failures == 0 ? 0 : 1);
