// An amount field's format: an amount is shown as one ("1,234.50"), also
// one that was saved where no script ran ("12.5", "$7").
var cents = amountInCents(textSeen[event.target.name] = String(event.value), Form.mostTyped);
if (typeof cents == "number")
    event.value = shownAmount(cents);
