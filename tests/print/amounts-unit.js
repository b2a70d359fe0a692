// mujs amounts-unit.js SCRIPTS CASES, or node amounts-unit.js SCRIPTS
// CASES: the form's scripts (the folder SCRIPTS) alone, without a PDF or a
// reader, on a form of two rows and their total described as the program
// describes the whole one: every case of the table CASES typed into
// BREAKFAST MON over 1.00 with LUNCH MON at 10.00, in three kinds of
// reader: one that takes the value the keystroke script leaves (pdf.js,
// MuPDF); one that keeps an entry the script refused but lets the
// validation set the field (Okular); and one that lets no script set the
// field while it validates it either (the worst a reader can do: then the
// entry stays shown, but the totals are right). Prints each case that went
// wrong; exits 1 if any did.
var inNode = typeof process == "object"; // MuJS has a require() of its own
var args = inNode ? process.argv.slice(2) : scriptArgs;
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
var said = [], failures = 0;
app = {alert: function (message) { said.push(message); }};
var fields = {};
var doc = {getField: function (name) { return fields[name]; }};
// A field whose value a script may be kept from setting.
function Field(name, value) {
    var field = {name: name, held: value, locked: false};
    Object.defineProperty(field, "value", {
        get: function () { return this.held; },
        set: function (value) { if (!this.locked) this.held = value; }
    });
    return field;
}
Form = {
    mostTyped: 9999999, notice: "check", noticeRoom: 100,
    order: ["check", "total_meals.mon"],
    totals: {"total_meals.mon": {plus: ["breakfast.mon", "lunch.mon"], minus: [], onlyAboveZero: false}},
    rows: [{words: "Breakfast", description: "", days: ["breakfast.mon"], totals: []},
           {words: "Lunch", description: "", days: ["lunch.mon"], totals: []}],
    alone: []
};
loadGlobally(args[0] + "/amounts.js");
var typing = new Function(readText(args[0] + "/typing.js"));
var checking = new Function(readText(args[0] + "/checking.js"));

// A value typed in and committed, as a reader of `kind` does it: pasted
// over what the cell holds, then left.
function typeIn(field, typed, kind) {
    event = {target: field, value: field.value, change: typed, willCommit: false, rc: true};
    typing.call(doc);
    if (!event.rc)
        return;
    event = {target: field, value: typed, willCommit: true, rc: true};
    typing.call(doc);
    field.value = kind == "takes the script's value" ? event.value : typed;
    field.locked = kind == "lets no script set the field";
    event = {target: field, value: field.value, rc: true};
    checking.call(doc);
    field.locked = false;
    if (event.rc)
        field.value = event.value;
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
    fields = {"breakfast.mon": new Field("breakfast.mon", "1.00"), "lunch.mon": new Field("lunch.mon", "10.00"),
              "check": new Field("check", "")};
    valueBeforeEdit = {};
    refusedEntry = {};
    textSeen = {};
    said = [];
    typeIn(fields["breakfast.mon"], row.typed, kind);
    var shown = kind == "lets no script set the field" && row.said ? "1.00" : fields["breakfast.mon"].value;
    var total = workedOut(doc, "total_meals.mon"), wrong = "";
    if (row.said === undefined && (shown !== row.held || total !== row.total || said.length))
        wrong = "holds " + shown + ", adds up to " + total + ", said " + said.join(" / ");
    else if (row.said !== undefined && (shown !== "1.00" || total !== "11.00" || said.length != 1 ||
             said[0].indexOf("\"" + row.typed.substring(0, 20)) != 0 || said[0].indexOf(row.said) < 0 ||
             !keepsWhatItHeld(said[0]) || workedOut(doc, "check").indexOf("amount") >= 0))
        wrong = "holds " + shown + ", adds up to " + total + ", said " + said.join(" / ") + ", notice " + workedOut(doc, "check");
    if (wrong) {
        print(kind + ": " + JSON.stringify(row.typed) + " " + wrong);
        failures++;
    }
}

if (inNode)
    globalThis.print = console.log;
var table = JSON.parse(readText(args[1])).cases;
for (var i = 0; i < table.length; i++) {
    check(table[i], "takes the script's value");
    check(table[i], "keeps the entry");
    check(table[i], "lets no script set the field");
}
print(table.length + " cases, " + failures + " wrong");
if (failures)
    inNode ? process.exit(1) : quit(1);
