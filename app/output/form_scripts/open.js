// Run as the form is opened, after amounts.js: every typed amount shown as
// one (a value saved where no script ran, "12.5" or "$7", becomes
// "12.50" and "7.00"), then every computed field worked out anew, in turn,
// as the calculations would (Okular has no calculateNow()). A typed amount
// is set only where it differs: pdf.js counts every value its scripts set
// as a change the reader asks to save. A total that shows something is set
// even where it compares equal: pdf.js draws a read-only field anew, in its
// own size, only where a script set it, and a total left as saved (by
// another reader, or compared equal where pdf.js hands "199.30" over as
// 199.3) would stand in another size beside the others of its row.

/* exported typedAmounts */

function setIfDifferent(doc, name, value) {
    var field = doc.getField(name);
    if (String(field.value) !== value)
        field.value = value;
}

// Every typed amount field: the rows' cells, then those alone.
function typedAmounts() {
    var names = [], r;
    for (r = 0; r < Form.rows.length; r++)
        names = names.concat(Form.rows[r].days, Form.rows[r].totals);
    for (r = 0; r < Form.alone.length; r++)
        names.push(Form.alone[r][0]);
    return names;
}

var openingNames = typedAmounts(), openingCents;
for (var opening = 0; opening < openingNames.length; opening++) {
    openingCents = amountInCents(fieldText(this, openingNames[opening]), Form.mostTyped);
    if (typeof openingCents == "number") {
        textSeen[openingNames[opening]] = shownAmount(openingCents);
        setIfDifferent(this, openingNames[opening], shownAmount(openingCents));
    }
}
var openingShown;
for (opening = 0; opening < Form.order.length; opening++) {
    openingShown = workedOut(this, Form.order[opening]);
    if (openingShown !== "")
        this.getField(Form.order[opening]).value = openingShown;
    else
        setIfDifferent(this, Form.order[opening], openingShown);
}
