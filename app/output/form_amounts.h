// The form's amounts read as its own scripts read them (the same grammar,
// the same words of why not), for a program that checks a returned form.
#pragma once

#include <QString>

#include <optional>

struct Amount {
    enum Kind { Empty, Cents, Refused } What;
    long long Value; // whole cents, when What is Cents
    QString Why;     // the sentence that says why it is no amount, when Refused
};

// `text` read as an amount: digits, commas between groups of three (the
// first group not begun by 0), a point before at most two digits of cents,
// a dollar sign first, blanks (line breaks among them) around. At most
// `most` cents (a typed amount's cap); without it, as large as is exact.
Amount Read_Amount(const QString &text, std::optional<long long> most = std::nullopt);

// Cents as the form shows an amount: "1,234.50".
QString Shown_Amount(long long cents);
