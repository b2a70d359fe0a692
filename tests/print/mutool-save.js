// mutool run mutool-save.js in.pdf out.pdf name=value...: types each value
// into the field of that name with the form's scripts running, as MuPDF's
// viewer does (the totals worked out as it goes), and saves.
var doc = new PDFDocument(scriptArgs[0]);
doc.enableJS();
var page = doc.loadPage(0);
var widgets = page.getWidgets();
var annotations = doc.findPage(0).get("Annots");
function name(field) {
    var parent = field.get("Parent");
    return (parent ? name(parent) + "." : "") + field.get("T").asString();
}
var named = {};
widgets.forEach(function (widget, i) { named[name(annotations.get(i))] = widget; });
for (var i = 2; i < scriptArgs.length; ++i) {
    var is = scriptArgs[i].indexOf("=");
    named[scriptArgs[i].slice(0, is)].setTextValue(scriptArgs[i].slice(is + 1));
}
page.update();
doc.save(scriptArgs[1]);
