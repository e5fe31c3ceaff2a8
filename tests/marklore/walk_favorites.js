// Registers the DLL named by the first argument and walks the user's
// favourites twice, after checking that there is no item before the first
// First. Exit code 1 unless both walks read as the second argument: "name=url|",
// "name/|" and the folder's items, "<end>|", then "<closed>|" when Next past
// the end fails.
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

var failure = "";
try {
    var dll = WScript.Arguments(0).replace(/\//g, "\\");
    if (new ActiveXObject("WScript.Shell").Run("regsvr32 /s \"" + dll + "\"", 0, true) !== 0) {
        failure = "regsvr32 failed";
    } else {
        var root = new ActiveXObject("Marklore.Marklore.1"), next = "Next before First";
        try { root.Next(); } catch (e) { next = ""; }
        var none = next || root.Name + root.URL + (root.Group ? "a group" : "");
        var got = walk(root, ""), again = walk(root, "");
        if (none) failure = "an item before First: " + none;
        else if (got !== WScript.Arguments(1)) failure = "walk: got [" + got + "]";
        else if (again !== got) failure = "a second walk: got [" + again + "]";
    }
} catch (e) {
    failure = "error " + (e.number >>> 0).toString(16) + ": " + e.message;
}
if (failure) WScript.Echo(failure);
WScript.Quit(failure ? 1 : 0);
