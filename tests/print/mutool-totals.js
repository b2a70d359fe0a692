// mutool run mutool-totals.js FORM.pdf NAME=VALUE...: types each value into its
// field as a reader with form scripts (MuPDF's) does, then prints every
// field that holds a value as "name=value", one a line.
var doc = new PDFDocument(scriptArgs[0]);
doc.enableJS();
var page = doc.loadPage(0);
var widgets = page.getWidgets();
function name(field) {
    var parent = field.get("Parent");
    return (parent ? name(parent) + "." : "") + field.get("T").asString();
}
// The widgets come in the order of the page's annotations.
var annotations = doc.findPage(0).get("Annots"), names = [], named = {};
widgets.forEach(function (widget, i) {
    names[i] = name(annotations.get(i));
    named[names[i]] = widget;
});
for (var i = 1; i < scriptArgs.length; ++i) {
    var is = scriptArgs[i].indexOf("=");
    named[scriptArgs[i].slice(0, is)].setTextValue(scriptArgs[i].slice(is + 1));
    page.update();
}
widgets.forEach(function (widget, i) {
    if (widget.getValue() !== "")
        print(names[i] + "=" + widget.getValue());
});
