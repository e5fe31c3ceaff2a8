// Walks Marklore from the script host, as any automation client would: it
// registers the DLL named by the argument, builds a folder of its own under
// Favorites and checks the walk of that folder. Exit code 1 on a mismatch.
var shell = new ActiveXObject("WScript.Shell");
var fso = new ActiveXObject("Scripting.FileSystemObject");

function writeFile(path, text) {
    var file = fso.CreateTextFile(path, true);
    file.Write(text);
    file.Close();
}

// The shell's namespace 6 is the user's Favorites folder (Wine's
// WScript.Shell cannot name it).
function favoritesFolder() {
    return new ActiveXObject("Shell.Application").Namespace(6).Self.Path;
}

// "name=url|", "name/|" and the folder's items, "<end>|" and then
// "<closed>|" when Next past the end fails.
function walk(list, prefix) {
    var lines = "";
    for (list.First();; list.Next()) {
        var name = list.Name, url = list.URL, group = list.Group;
        if (group) {
            lines += prefix + name + "/|" + walk(group, prefix + name + "/");
        } else if (name === "" && url === "") {
            var closed = false;
            try { list.Next(); } catch (e) { closed = true; }
            return lines + prefix + "<end>|" + prefix + (closed ? "<closed>|" : "<open>|");
        } else {
            lines += prefix + name + "=" + url + "|";
        }
    }
}

function main() {
    var dll = WScript.Arguments(0).replace(/\//g, "\\");
    if (shell.Run("regsvr32 /s \"" + dll + "\"", 0, true) !== 0) return "regsvr32 failed";

    var top = favoritesFolder() + "\\Marklore Script Walk";
    if (fso.FolderExists(top)) fso.DeleteFolder(top, true);
    fso.CreateFolder(top);
    try {
        fso.CreateFolder(top + "\\Sub");
        writeFile(top + "\\Sub\\Inner.url", "[InternetShortcut]\r\nURL=http://inner.example.org/\r\n");
        writeFile(top + "\\b.url", "[InternetShortcut]\r\nURL=http://b.example.com/\r\n");
        writeFile(top + "\\A.url", "[InternetShortcut]\r\nURL=http://a.example.com/path\r\n");
        writeFile(top + "\\Empty.url", "[InternetShortcut]\r\n");
        writeFile(top + "\\note.txt", "URL=http://note.example.com/\r\n");

        var root = new ActiveXObject("Marklore.Marklore.1"), own = null;
        for (root.First(); root.Name !== "" || root.URL !== ""; root.Next())
            if (root.Name === "Marklore Script Walk") own = root.Group;
        if (!own) return "own folder not found as a group";
        var got = walk(own, "");
        var want = "Sub/|Sub/Inner=http://inner.example.org/|Sub/<end>|Sub/<closed>|" +
                   "A=http://a.example.com/path|b=http://b.example.com/|Empty=|<end>|<closed>|";
        return got === want ? "" : "walk: got [" + got + "], want [" + want + "]";
    } finally {
        fso.DeleteFolder(top, true);
    }
}

var failure;
try {
    failure = main();
} catch (e) {
    failure = "error " + (e.number >>> 0).toString(16) + ": " + e.message;
}
if (failure) WScript.Echo(failure);
WScript.Quit(failure ? 1 : 0);
