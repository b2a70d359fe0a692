// mujs amounts-unit.js SCRIPTS CASES, or node amounts-unit.js SCRIPTS
// CASES, or in KJS (kjs5, which reads no files and takes no arguments)
// loaded after `var unitArgs = [SCRIPTS]; var unitCases = {...CASES...};`
// (run-kjs-unit.cmake writes those lines): the form's scripts (the folder
// SCRIPTS) alone, without a PDF or a reader, on a form of two rows and
// their total described as the program describes the whole one: every case
// of the table CASES typed into BREAKFAST MON over 1.00 with LUNCH MON at
// 10.00, in four kinds of reader: one that takes the value the keystroke
// script leaves (pdf.js, MuPDF); one that keeps an entry the script refused
// but lets the validation set the field (PDFium); one that lets no script
// set the field while it validates it either (the worst a reader can do:
// then the entry stays shown, but the totals are right); and one that hands
// the field every keystroke and works the totals out then, takes the
// commit's value unseen and redraws only what a script sets (Okular).
// Prints each case that went wrong, and throws at the end if any did.
var inNode = typeof process == "object"; // MuJS has a require() of its own
var inKjs = typeof unitCases == "object";
var args = inNode ? process.argv.slice(2) : inKjs ? unitArgs : scriptArgs;
function readText(path) {
    return inNode ? require("fs").readFileSync(path, "utf8") : read(path);
}
// Globals, as the readers' scripts share them: assigned, not declared.
function loadGlobally(path) {
    if (inNode)
        require("vm").runInThisContext(readText(path), {filename: path});
    else
        load(path);
}
// A field's script, run with `this` the document: KJS loads it, where
// `this` is the global object, which has getField() too.
function fieldScript(path) {
    if (inKjs)
        return function () { load(path); };
    return new Function(readText(path));
}
var said = [], failures = 0;
app = {alert: function (message) { said.push(message); }};
var fields = {};
function getField(name) {
    return fields[name];
}
var doc = {getField: getField};
Form = {
    mostTyped: 9999999, notice: "check", noticeRoom: 100, noticeName: "Notice",
    order: ["check", "total_meals.mon"],
    totals: {"total_meals.mon": {plus: ["breakfast.mon", "lunch.mon"], minus: [], onlyAboveZero: false}},
    rows: [{words: "Breakfast", description: "", days: ["breakfast.mon"], totals: []},
           {words: "Lunch", description: "", days: ["lunch.mon"], totals: []}],
    alone: []
};
loadGlobally(args[0] + "/amounts.js");
var typing = fieldScript(args[0] + "/typing.js");
var checking = fieldScript(args[0] + "/checking.js");
var showing = fieldScript(args[0] + "/showing.js");

// A value typed in and committed, as a reader of `kind` does it: pasted
// over what the cell holds, then left.
function typeIn(field, typed, kind) {
    event = {target: field, value: field.value, change: typed, willCommit: false, rc: true};
    typing.call(doc);
    if (!event.rc)
        return;
    if (kind == "hands the field every keystroke")
        return typeInEveryKeystroke(field, typed);
    event = {target: field, value: typed, willCommit: true, rc: true};
    typing.call(doc);
    field.value = kind == "takes the script's value" ? event.value : typed;
    event = {target: field, value: field.value, rc: true};
    checking.call(doc);
    if (kind == "lets no script set the field")
        field.value = typed;
    if (event.rc)
        field.value = event.value;
}

// As Okular does it: the field holds the entry and the totals are worked
// out with it before the commit; the commit's value is taken but not
// drawn, and what the validation leaves is not looked at. What the cell
// shows is what a script set, else the entry, or the format's own text.
function typeInEveryKeystroke(field, typed) {
    field.value = typed;
    for (var i = 0; i < Form.order.length; i++)
        fields[Form.order[i]].value = workedOut(doc, Form.order[i]);
    event = {target: field, value: typed, willCommit: true, rc: true};
    typing.call(doc);
    field.shown = field.value;
    if (event.rc)
        field.value = event.value;
    var committed = field.value;
    event = {target: field, value: committed, rc: true};
    checking.call(doc);
    if (field.value !== committed)
        field.shown = field.value;
    event = {target: field, value: field.value, rc: true};
    showing.call(doc);
    if (event.value !== field.value)
        field.shown = event.value;
}

// A refusal ends by saying that the cell keeps what it held: as it is
// typed, the character is left out; as it is committed, the cell named.
function keepsWhatItHeld(alert) {
    var endings = ["It is not typed in: the cell keeps what it held.", "Breakfast MON keeps 1.00."];
    for (var i = 0; i < endings.length; i++)
        if (alert.substring(alert.length - endings[i].length) == endings[i])
            return true;
    return false;
}

function check(row, kind) {
    fields = {"breakfast.mon": {name: "breakfast.mon", value: "1.00"}, "lunch.mon": {name: "lunch.mon", value: "10.00"},
              "check": {name: "check", value: ""}, "total_meals.mon": {name: "total_meals.mon", value: "11.00"}};
    valueBeforeEdit = {};
    refusedEntry = {};
    textSeen = {};
    said = [];
    typeIn(fields["breakfast.mon"], row.typed, kind);
    var typedIn = fields["breakfast.mon"], shown = typedIn.value, total = workedOut(doc, "total_meals.mon");
    var notice = workedOut(doc, "check"), wrong = "";
    if (kind == "lets no script set the field" && row.said)
        shown = "1.00";
    if (kind == "hands the field every keystroke") {
        shown = "shown" in typedIn ? typedIn.shown : typedIn.value;
        total = fields["total_meals.mon"].value;
        notice = fields.check.value;
    }
    if (row.said === undefined && (shown !== row.held || total !== row.total || said.length))
        wrong = "holds " + shown + ", adds up to " + total + ", said " + said.join(" / ");
    else if (row.said !== undefined && (shown !== "1.00" || total !== "11.00" || said.length != 1 ||
             said[0].indexOf("\"" + row.typed.replace(/^\s+|\s+$/g, "").substring(0, 20)) != 0 ||
             said[0].indexOf(row.said) < 0 ||
             !keepsWhatItHeld(said[0]) || notice.indexOf("amount") >= 0))
        wrong = "holds " + shown + ", adds up to " + total + ", said " + said.join(" / ") + ", notice " + notice;
    if (wrong) {
        print(kind + ": " + JSON.stringify(row.typed) + " " + wrong);
        failures++;
    }
}

// A form saved where no script ran, opened: each amount shown as one
// (open.js), and the total worked out; and an amount's format (showing.js).
function checkOpening() {
    // The total as saved holds what it adds up to, as a value that only
    // reads so: once another computed field is set (the notice), it is set
    // all the same (pdf.js draws anew, in its own size, only what is set).
    var saved = {toString: function () { return "22.50"; }};
    fields = {"breakfast.mon": {name: "breakfast.mon", value: "12.5"}, "lunch.mon": {name: "lunch.mon", value: "$10"},
              "check": {name: "check", value: ""}, "total_meals.mon": {name: "total_meals.mon", value: saved}};
    fieldScript(args[0] + "/open.js").call(doc);
    if (fields["total_meals.mon"].value === saved) {
        print("a total saved as it adds up is left as saved");
        failures++;
    }
    event = {target: fields["lunch.mon"], value: "1234.5", rc: true};
    showing.call(doc);
    var opened = [fields["breakfast.mon"].value, fields["lunch.mon"].value, fields["total_meals.mon"].value,
                  event.value].join(" ");
    if (opened != "12.50 10.00 22.50 1,234.50") {
        print("opened and shown as " + opened);
        failures++;
    }
}

// A long value shown shortened to its field's room, "..." where it goes
// on; and a keystroke into a total refused, and said, as it is typed only.
function checkShortenedAndRefused() {
    var cases = [["Philadelphia", 12, "Philadelphia"], ["Llanfairpwllgwyngyll", 10, "Llanfairp\u2026"],
                 ["New York City", 10, "New York\u2026"]];
    for (var i = 0; i < cases.length; i++)
        if (shortened(cases[i][0], cases[i][1]) !== cases[i][2]) {
            print(cases[i][0] + " shown as " + shortened(cases[i][0], cases[i][1]));
            failures++;
        }
    said = [];
    var typed = {target: {name: "total_meals.mon"}, change: "412.80", willCommit: false, rc: true};
    var left = {target: {name: "total_meals.mon"}, value: "11.00", willCommit: true, rc: true};
    refuseTyping(typed, "Total meals (self), Monday");
    refuseTyping(left, "Total meals (self), Monday");
    if (typed.rc || !left.rc || said.length != 1 || said[0].indexOf("Total meals (self), Monday is worked out") != 0 ||
        said[0].indexOf("\"412.80\" is not kept") < 0) {
        print("typed into a total: " + typed.rc + " " + left.rc + " " + said.join(" / "));
        failures++;
    }
}

// As pdf.js (Firefox) opens a form: its values handed over as numbers, the
// open script run before the formats and after. Nothing that already shows
// as an amount is set (Firefox would ask to save the form on close); a
// value saved as "12.5" is, once the format has shown its text.
function checkOpeningInPdfJs() {
    app.viewerType = "PDF.js";
    fields = {"breakfast.mon": {name: "breakfast.mon", value: 199.3}, "lunch.mon": {name: "lunch.mon", value: 12.5},
              "check": {name: "check", value: "2 rows do not add up: Breakfast, Lunch"},
              "total_meals.mon": {name: "total_meals.mon", value: 211.8}};
    textSeen = {};
    var open = fieldScript(args[0] + "/open.js"), saved = {"breakfast.mon": "199.30", "lunch.mon": "12.5"}, got = [];
    open.call(doc);
    for (var name in saved) {
        got.push(typeof fields[name].value);
        event = {target: fields[name], value: saved[name], rc: true};
        showing.call(doc);
    }
    open.call(doc);
    got.push(typeof fields["breakfast.mon"].value, fields["lunch.mon"].value, typeof fields["total_meals.mon"].value);
    app.viewerType = undefined;
    if (got.join(" ") != "number number number 12.50 number") {
        print("opened in pdf.js: " + got.join(" "));
        failures++;
    }
}

// A notice cut short to its room has the whole list in its name (a
// tooltip in Firefox) and says it when Tab reaches it; one shown whole,
// neither.
function checkNoticeWhole() {
    var room = Form.noticeRoom, got = [];
    for (var r = 0; r < 2; r++) {
        Form.noticeRoom = r ? 100 : 30;
        fields = {"breakfast.mon": {value: "1.00"}, "lunch.mon": {value: "10.00"}, "check": {value: ""}};
        said = [];
        got.push(workedOut(doc, "check"), fields.check.userName);
        noticeReached(doc);
        got.push(said.join(" / "));
    }
    Form.noticeRoom = room;
    if (got.join("|") != "2 rows do not add up|Notice: 2 rows do not add up: Breakfast, Lunch|The line over the " +
        "grid, whole: 2 rows do not add up: Breakfast, Lunch|2 rows do not add up: Breakfast, Lunch|Notice|") {
        print("the notice cut short: " + got.join(" | "));
        failures++;
    }
}

if (inNode)
    globalThis.print = console.log;
checkNoticeWhole();
checkOpeningInPdfJs();
checkOpening();
checkShortenedAndRefused();
var table = inKjs ? unitCases.cases : JSON.parse(readText(args[1])).cases;
for (var caseIndex = 0; caseIndex < table.length; caseIndex++) {
    check(table[caseIndex], "takes the script's value");
    check(table[caseIndex], "keeps the entry");
    check(table[caseIndex], "lets no script set the field");
    check(table[caseIndex], "hands the field every keystroke");
}
print(table.length + " cases, " + failures + " wrong");
var unitPassed = failures == 0; // for KJS, whose load() keeps what is thrown to itself
if (failures)
    throw new Error(failures + " cases went wrong");
