// mutool run mutool-fill.js [--scripts] in.pdf out.pdf "Tooltip=value"...:
// types each value into the field with that tooltip, as MuPDF's viewer
// does, with the form's scripts running after --scripts, and saves.
var scripts = scriptArgs[0] == "--scripts";
if (scripts)
    scriptArgs.shift();
var doc = new PDFDocument(scriptArgs[0]);
if (scripts)
    doc.enableJS();
var page = doc.loadPage(0);
var widgets = page.getWidgets();
for (var i = 0; i < widgets.length; ++i)
    for (var a = 2; a < scriptArgs.length; ++a) {
        var at = scriptArgs[a].indexOf("=");
        if (scriptArgs[a].substring(0, at) == widgets[i].getLabel())
            widgets[i].setTextValue(scriptArgs[a].substring(at + 1));
    }
page.update();
doc.save(scriptArgs[1]);
