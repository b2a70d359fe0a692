// Run as the form is opened, after amounts.js: every typed amount shown as
// one (a value saved where no script ran, "12.5" or "$7", becomes
// "12.50" and "7.00"), then every computed field worked out anew, in turn,
// as the calculations would (Okular has no calculateNow()).
//
// A form that already holds what it shows is left as it is: pdf.js
// (Firefox) counts every value a script sets as a change, and asks to save
// the form on close. A value is compared as the text it was saved as
// (pdf.js hands "199.30" over as 199.3), an amount by its cents. Where one
// computed field must be set, every one that shows something is: pdf.js
// draws a read-only field anew, in its own size, only where a script set
// it, and a total left as saved (by another reader) would stand in another
// size beside the others of its row.

/* exported typedAmounts */

// Every typed amount field: the rows' cells, then those alone.
function typedAmounts() {
    var names = [], r;
    for (r = 0; r < Form.rows.length; r++)
        names = names.concat(Form.rows[r].days, Form.rows[r].totals);
    for (r = 0; r < Form.alone.length; r++)
        names.push(Form.alone[r][0]);
    return names;
}

// Whether computed field `name` already shows `shown`: the text it was
// saved as is that, or pdf.js handed it over as a number (it has no format
// script to see its text) and it is that amount.
function alreadyShows(doc, name, shown) {
    var value = doc.getField(name).value;
    if (typeof value == "number")
        return amountInCents(String(value)) === amountInCents(shown);
    return fieldText(doc, name) === shown;
}

// pdf.js (Firefox) runs this more than once, the last time after its
// formats have shown it each field's text; before that it hands a value
// over as a number, 199.3, that may have been saved as "199.30" or as
// "199.3". Such a value waits for the formats, so that what already shows
// as an amount is not set.
function savedTextKnown(doc, name) {
    return app.viewerType != "PDF.js" || typeof doc.getField(name).value != "number" || name in textSeen;
}

var openingNames = typedAmounts(), openingCents, opening, openingShown, openingStale = false;
for (opening = 0; opening < openingNames.length; opening++) {
    openingCents = amountInCents(fieldText(this, openingNames[opening]), Form.mostTyped);
    if (typeof openingCents == "number" && savedTextKnown(this, openingNames[opening])) {
        if (fieldText(this, openingNames[opening]) !== shownAmount(openingCents))
            this.getField(openingNames[opening]).value = shownAmount(openingCents);
        textSeen[openingNames[opening]] = shownAmount(openingCents);
    }
}
for (opening = 0; opening < Form.order.length; opening++) {
    openingShown = workedOut(this, Form.order[opening]);
    if (!alreadyShows(this, Form.order[opening], openingShown)) {
        openingStale = true;
        this.getField(Form.order[opening]).value = openingShown;
    }
}
for (opening = 0; openingStale && opening < Form.order.length; opening++)
    if (String(this.getField(Form.order[opening]).value) !== "")
        this.getField(Form.order[opening]).value = workedOut(this, Form.order[opening]);
