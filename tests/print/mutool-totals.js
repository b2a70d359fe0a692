// mutool run mutool-totals.js FORM.pdf NAME=VALUE...: opens the form as a
// reader with form scripts (MuPDF's) does, then types each value into its
// field and leaves it. Prints a line when the form is open and after each
// value: what the reader said ("alert=..."), then every field that holds a
// value ("name=value"), sorted, each followed by a tab.
var doc = new PDFDocument(scriptArgs[0]);
var said = [];
doc.setJSEventListener({onAlert: function (message) { said.push("alert=" + message); }});
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
function report() {
    page.update();
    var line = said.concat(names.filter(function (n) { return named[n].getValue() !== ""; }).sort()
                                .map(function (n) { return n + "=" + named[n].getValue(); }));
    print(line.join("\t") + "\t");
    said = [];
}
report();
for (var i = 1; i < scriptArgs.length; ++i) {
    var is = scriptArgs[i].indexOf("=");
    named[scriptArgs[i].slice(0, is)].setTextValue(scriptArgs[i].slice(is + 1));
    report();
}
