// An amount field's validation: an amount is kept as the form shows it
// ("1,234.50"; pdf.js reads a typed "1,000" as 1, its comma a decimal
// point, but leaves "1,000.00" to the scripts). An entry that is not an
// amount reaches it only where the reader kept what the keystroke script
// refused (PDFium): it is refused again, said once, and the field
// is given back what it held, where the reader lets a script set it.
var name = event.target.name, cents = amountInCents(event.value, Form.mostTyped), refused = refusedEntry[name];
var kept;
if (typeof cents == "string") {
    kept = refused && refused.text === String(event.value) ? refused.kept : valueRefused(this, name, event.value, cents);
    event.rc = false;
    event.value = kept;
    if (String(event.target.value) !== kept)
        event.target.value = kept;
} else {
    event.value = cents === null ? "" : shownAmount(cents);
    valueTyped(name, event.value);
}
