// The form's amounts, as every script of the form reads, adds and shows
// them. Run first, as the document's own script, after the line the program
// writes (`var Form = {...};`) that describes this form: the cap of a typed
// amount in cents (mostTyped), the notice's field (notice) and how many
// characters it shows (noticeRoom), the computed fields in the order they
// are worked out (order), what each total adds and takes away (totals),
// the rows whose days are to add up to their totals (rows), the typed amounts
// outside those rows (alone).
//
// Plain old JavaScript (ES5 without its library additions), for the oldest
// engine that runs it: KJS in Okular, MuJS in MuPDF, QuickJS in pdf.js, V8
// in PDFium. The readers' own number conversions differ, so none is used:
// an amount is read character by character, in whole cents.

/* exported amountInCents, shownAmount, workedOut, valueTyped, valueRefused, leavingRow, refuseTyping,
   shortened, noticeReached */

// Kept across scripts, and kept when pdf.js runs this again: each typed
// amount's value before it was edited, the entry last refused in each
// field (its text and the value it keeps instead), each amount's text as
// the scripts last saw it, and the row typed in last.
var valueBeforeEdit, refusedEntry, textSeen, rowTypedIn;
if (!valueBeforeEdit) {
    valueBeforeEdit = {};
    refusedEntry = {};
    textSeen = {};
    rowTypedIn = -1;
}

var dollarsHow = "type it in US dollars, with a point before the cents, as in 1,234.50";

// Spaces, tabs, no-break spaces, and the line breaks that come along with
// a value pasted from a spreadsheet.
function isBlank(character) {
    return character == " " || character == "\t" || character == "\u00a0" || character == "\n" ||
        character == "\r";
}

function isDigit(character) {
    return character >= "0" && character <= "9";
}

function withoutBlanks(text) {
    var start = 0, end = text.length;
    while (start < end && isBlank(text.charAt(start)))
        start++;
    while (end > start && isBlank(text.charAt(end - 1)))
        end--;
    return text.substring(start, end);
}

// What was typed, as a refusal quotes it: without the blanks around it (a
// pasted line break), and only its start when it is long.
function quoted(text) {
    text = withoutBlanks(text);
    return "\"" + (text.length > 24 ? text.substring(0, 20) + "..." : text) + "\"";
}

function notAnAmount(text, how) {
    return quoted(text) + " is not an amount: " + how;
}

function tooBig(text, most) {
    return quoted(text) + " is more than this form takes: " + shownAmount(most) + " at most";
}

// Why a character has no place in an amount.
function misplaced(text, character) {
    if (character == "," || character == ".")
        return notAnAmount(text, "use a point before the cents, and commas only between thousands, as in 1,234.50");
    if ("-+()".indexOf(character) >= 0)
        return notAnAmount(text, "this form takes no credits: type the amount without a sign or brackets, as in 5.00");
    if (isBlank(character))
        return notAnAmount(text, "leave no space inside an amount, as in 1,234.50");
    return notAnAmount(text, dollarsHow);
}

// The digits before the point, checked: groups of three after commas, the
// first of one to three digits and not begun by a zero. Gives null when
// they are right, or why not.
function wholeDollarsFault(text, whole) {
    var groups = whole.split(",");
    if (groups.length == 1)
        return null;
    if (groups[0].length < 1 || groups[0].length > 3)
        return misplaced(text, ",");
    if (groups[0].charAt(0) == "0")
        return notAnAmount(text, "a number with commas does not begin with 0, as in 1,234.50 or 0.50");
    for (var i = 1; i < groups.length; i++)
        if (groups[i].length != 3)
            return misplaced(text, ",");
    return null;
}

// A value read as an amount: its whole cents; null when it is empty; or a
// sentence that says why it is not an amount. `most`, in cents, is the most
// it may be (a typed amount); without it, only as much as is exact.
function amountInCents(value, most) {
    var text = String(value), body = withoutBlanks(text), i, character;
    if (body === "")
        return null;
    if (body.charAt(0) == "$")
        body = withoutBlanks(body.substring(1));
    for (i = 0; i < body.length; i++) {
        character = body.charAt(i);
        if (!isDigit(character) && character != "," && character != ".")
            return misplaced(text, character);
    }
    var point = body.indexOf("."), whole = point < 0 ? body : body.substring(0, point);
    var cents = point < 0 ? "" : body.substring(point + 1);
    if (cents.indexOf(".") >= 0 || cents.indexOf(",") >= 0)
        return misplaced(text, cents.indexOf(".") >= 0 ? "." : ",");
    if (cents.length > 2)
        return notAnAmount(text, "an amount has two digits of cents at most, as in 1,234.50");
    var fault = wholeDollarsFault(text, whole);
    if (fault)
        return fault;
    var digits = whole.split(",").join("") + (cents + "00").substring(0, 2);
    if (whole === "" && cents === "")
        return notAnAmount(text, dollarsHow);
    var total = 0, limit = most === undefined ? 99999999999999 : most;
    for (i = 0; i < digits.length; i++) {
        total = total * 10 + digits.charCodeAt(i) - 48;
        if (total > limit)
            return most === undefined ? quoted(text) + " is too large to add up" : tooBig(text, most);
    }
    return total;
}

// Cents as the form shows an amount: "1,234.50".
function shownAmount(cents) {
    var dollars = String(Math.floor(cents / 100));
    for (var i = dollars.length - 3; i > 0; i -= 3)
        dollars = dollars.substring(0, i) + "," + dollars.substring(i);
    return dollars + "." + String(100 + cents % 100).substring(1);
}

// A field's value as text. pdf.js hands a script another field's value as
// a number wherever its own conversion (the first comma a decimal point)
// reads one, and MuPDF and PDFium do as JavaScript's does: the text that
// the number was read from is taken where there is one. An entry that was
// refused but that the reader still holds (PDFium) counts as the value
// kept instead; so does one still being typed that is not (yet) an amount:
// Okular works the totals out at every keystroke, and they would show "?"
// for an entry that the commit then refuses, which it does not redraw.
function fieldText(doc, name) {
    var value = doc.getField(name).value, seen = textSeen[name], refused = refusedEntry[name];
    if (typeof value == "number" && typeof seen == "string" && parseFloat(seen.replace(",", ".")) === value)
        value = seen;
    if (refused && String(value) === refused.text)
        value = refused.kept;
    if (name in valueBeforeEdit && typeof amountInCents(value, Form.mostTyped) == "string")
        value = valueBefore(name);
    return String(value);
}

function isTotal(name) {
    return name in Form.totals;
}

// A field's amount in cents, null when empty, or why it is not one. Only a
// typed amount has the cap; a total is as large as its terms make it.
function amountOf(doc, name) {
    return isTotal(name) ? amountInCents(fieldText(doc, name)) : amountInCents(fieldText(doc, name), Form.mostTyped);
}

// The fields of `plus` added and those of `minus` taken away, in cents;
// null when all are empty; "?" when one is not an amount.
function sumOf(doc, plus, minus) {
    var total = 0, counted = 0, cents, i;
    for (i = 0; i < plus.length + minus.length; i++) {
        cents = amountOf(doc, i < plus.length ? plus[i] : minus[i - plus.length]);
        if (typeof cents == "string")
            return "?";
        if (cents !== null) {
            total += i < plus.length ? cents : -cents;
            counted++;
        }
    }
    return counted ? total : null;
}

// A cell as the form's headings name it: "Lunch TUE", "Lunch TOTAL CASH".
function cellWords(row, name) {
    return row.words + " " + name.substring(name.indexOf(".") + 1).split("_").join(" ").toUpperCase();
}

// A row as the person knows it: a blank row by the description typed in it.
function rowWords(doc, row) {
    var described = row.description ? withoutBlanks(String(doc.getField(row.description).value)) : "";
    return described !== "" ? described : row.words;
}

// The entries that are not amounts ("Lunch TUE \"12,50\"") and the rows
// whose days do not add up to their TOTAL CHARGE + TOTAL CASH.
function formProblems(doc) {
    var problems = {entries: [], rows: []}, r, c, row, cells, cents, unknown;
    for (r = 0; r < Form.rows.length; r++) {
        row = {words: rowWords(doc, Form.rows[r])};
        cells = Form.rows[r].days.concat(Form.rows[r].totals);
        unknown = false;
        for (c = 0; c < cells.length; c++) {
            cents = amountOf(doc, cells[c]);
            if (typeof cents == "string") {
                problems.entries.push(cellWords(row, cells[c]) + " " + quoted(fieldText(doc, cells[c])));
                unknown = true;
            }
        }
        if (!unknown && sumOf(doc, Form.rows[r].days, Form.rows[r].totals))
            problems.rows.push(row.words);
    }
    for (r = 0; r < Form.alone.length; r++)
        if (typeof amountOf(doc, Form.alone[r][0]) == "string")
            problems.entries.push(Form.alone[r][1] + " " + quoted(fieldText(doc, Form.alone[r][0])));
    return problems;
}

// The two kinds of problem, as the notice words them: of one (after its
// name), of one counted, of several counted.
var entryWords = {one: "not an amount", single: "entry is not an amount", many: "entries are not amounts"};
var rowProblemWords = {one: "the days do not add up to TOTAL CHARGE + TOTAL CASH", single: "row does not add up",
    many: "rows do not add up"};

// One kind of problem in words, within `room` characters where it can be:
// "Lunch: the days ..." for one, "3 rows do not add up: Breakfast, Lunch,
// Parking" for more, the names that do not fit left out for "...", and at
// the least the count alone ("14 rows do not add up").
function problemWords(names, kind, room) {
    if (names.length == 0)
        return "";
    var counted = names.length + " " + (names.length == 1 ? kind.single : kind.many), words;
    if (names.length == 1)
        words = names[0] + ": " + kind.one;
    else
        words = counted + ": " + names.join(", ");
    for (var shown = names.length - 1; words.length > room && shown > 0; shown--)
        words = counted + ": " + names.slice(0, shown).join(", ") + ", ...";
    return words.length > room ? counted : words;
}

// What the notice says: what is wrong, whole within the notice's room,
// each kind of problem given at least its count.
function noticeWords(problems, room) {
    var rowsAtLeast = problemWords(problems.rows, rowProblemWords, 0);
    var entries = problemWords(problems.entries, entryWords, room - (rowsAtLeast ? rowsAtLeast.length + 2 : 0));
    var rows = problemWords(problems.rows, rowProblemWords, room - (entries ? entries.length + 2 : 0));
    return entries && rows ? entries + "; " + rows : entries + rows;
}

// What the notice shows, within its room. Where that cuts the list short,
// the whole of it is where a person can reach it: in the notice's name,
// which Firefox (pdf.js) shows as its tooltip and a screen reader reads,
// and said when Tab reaches the notice (noticeReached; Chromium tabs into
// it after the fields a person types in) and when a row is left that does
// not add up (leavingRow; Okular, which gives a read-only field no widget
// to reach). PDFium lets no script rename a field, and the name stays.
function noticeShown(doc) {
    var problems = formProblems(doc), shown = noticeWords(problems, Form.noticeRoom);
    var whole = noticeWords(problems, Infinity), field = doc.getField(Form.notice);
    var name = whole === shown ? Form.noticeName : Form.noticeName + ": " + whole;
    try {
        if (String(field.userName) !== name)
            field.userName = name;
    } catch (refused) {
        // a reader whose fields take no new name: Tab still says it
    }
    return shown;
}

// The notice's whole words when it shows them cut short, else "".
function noticeCut(doc) {
    var problems = formProblems(doc), whole = noticeWords(problems, Infinity);
    return whole !== noticeWords(problems, Form.noticeRoom) ? "The line over the grid, whole: " + whole : "";
}

// Tab reached the notice: when it is cut short, the whole of it is said.
function noticeReached(doc) {
    var cut = noticeCut(doc);
    if (cut)
        app.alert(cut);
}

// What computed field `name` shows. A total adds the values that are
// amounts: empty when there are none, "?" when one is not an amount. An
// amount due shows only when it is above zero, and "?" while the notice
// says something is wrong.
function workedOut(doc, name) {
    if (name == Form.notice)
        return noticeShown(doc);
    var total = Form.totals[name], sum = sumOf(doc, total.plus, total.minus);
    if (!total.onlyAboveZero)
        return sum === null ? "" : sum === "?" ? "?" : shownAmount(sum);
    return sum === "?" || String(doc.getField(Form.notice).value) !== "" ? "?" : sum > 0 ? shownAmount(sum) : "";
}

// The row a typed field belongs to, by its place in Form.rows, or -1.
function rowOf(name) {
    for (var r = 0; r < Form.rows.length; r++)
        if (name.indexOf(Form.rows[r].days[0].split(".")[0] + ".") == 0)
            return r;
    return -1;
}

// A value typed into `name` was taken: it stands, and the entry refused
// there before is forgotten.
function valueTyped(name, text) {
    delete refusedEntry[name];
    textSeen[name] = text;
}

// What field `name` held before it was edited.
function valueBefore(name) {
    return name in valueBeforeEdit ? String(valueBeforeEdit[name]) : name in textSeen ? textSeen[name] : "";
}

// A typed amount's field as the form's headings name it ("Breakfast MON",
// a blank row by its description), or as its own name says it.
function cellName(doc, name) {
    var row = rowOf(name);
    if (row >= 0)
        return cellWords({words: rowWords(doc, Form.rows[row])}, name);
    for (var i = 0; i < Form.alone.length; i++)
        if (Form.alone[i][0] == name)
            return Form.alone[i][1];
    return "The cell";
}

// An entry refused in `name`: the field keeps what it held. Says why, and
// what the cell keeps, by the cell's name, for the focus may be elsewhere
// by then; gives what it keeps.
function valueRefused(doc, name, text, why) {
    var kept = valueBefore(name);
    refusedEntry[name] = {text: String(text), kept: kept};
    app.alert(why + ". " + cellName(doc, name) + (kept === "" ? " stays empty." : " keeps " + kept + "."));
    return kept;
}

// The person moves on from a row to another field: when the row left
// behind has its totals typed in and they do not agree with its days, it
// is said once, as it is left. A row whose totals are still empty is not:
// whoever fills the form a day at a time leaves every row that way.
function leavingRow(doc, name) {
    var row = rowOf(name), left = rowTypedIn;
    rowTypedIn = row;
    if (left < 0 || left == row)
        return;
    var days = sumOf(doc, Form.rows[left].days, []), totals = sumOf(doc, Form.rows[left].totals, []);
    if (totals === null || totals === "?" || days === "?" || (days || 0) == totals)
        return;
    var cut = noticeCut(doc);
    app.alert(rowWords(doc, Form.rows[left]) + ": the days add up to " + shownAmount(days || 0) +
        ", TOTAL CHARGE + TOTAL CASH to " + shownAmount(totals) + ". The line over the grid says so until they agree." +
        (cut ? " " + cut : ""));
}

// A keystroke into a worked-out field or the notice, named `words`. Both
// are read-only, yet PDFium (Chromium) tabs into them after the last field
// a person types in and hands them what is typed, which would vanish
// unseen: it is refused, and said, so that it is typed where it was meant.
function refuseTyping(event, words) {
    if (event.willCommit)
        return;
    event.rc = false;
    if (String(event.change || "") === "")
        return;
    var what = event.target.name == Form.notice ? "The line over the grid says what does not add up on the form"
        : words + " is worked out from the cells it adds up";
    app.alert(what + ", and takes nothing typed in: " + quoted(event.change) +
        " is not kept. Type it into the cell it is meant for.");
}

// A value as a field shows it where it has room for `room` characters: as
// it is when it fits, else its start and "..." to say that it goes on, so
// that a reader that shrinks a long value to fit its field keeps it
// readable (about 6 points at the least). The field keeps the value whole.
function shortened(value, room) {
    var text = String(value);
    return text.length <= room ? text : withoutBlanks(text.substring(0, room - 1)) + "\u2026";
}
