// An amount field's keystroke script: a character that no amount has is
// refused as it is typed, and a value that is not an amount as it is
// committed, each with a word of why. Refused, the cell goes back to what it
// held: pdf.js and MuPDF take the value the commit leaves in event.value;
// PDFium keeps the entry, and the validation (checking.js) puts it right.
// Okular hands the field every keystroke, so that it already holds the
// entry as it is committed, and takes the commit's event.value without
// drawing it: the script sets the field itself, which Okular draws.
var name = event.target.name, change = String(event.change || ""), i, character, cents, entry;
if (!event.willCommit) {
    if (!(name in valueBeforeEdit))
        valueBeforeEdit[name] = event.value;
    for (i = 0; i < change.length; i++) {
        character = change.charAt(i);
        if ("0123456789,.$".indexOf(character) < 0 && !isBlank(character)) {
            app.alert(misplaced(change, character) + ". It is not typed in: the cell keeps what it held.");
            event.rc = false;
            break;
        }
    }
} else {
    cents = amountInCents(event.value, Form.mostTyped);
    if (typeof cents == "string") {
        entry = String(event.value);
        event.value = valueRefused(this, name, entry, cents);
        if (String(event.target.value) === entry)
            event.target.value = event.value;
    } else
        leavingRow(this, name);
    delete valueBeforeEdit[name];
}
