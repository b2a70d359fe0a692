// The form's totals: the fields that add others up, as the form's labels
// say, with the fields each one adds and takes away.
#pragma once

#include <QStringList>

#include <vector>

struct Form_Total {
    QString Name;      // the field that shows the total
    QStringList Plus;  // the fields it adds
    QStringList Minus; // the fields it takes away
    // An amount due: shown only when it is above zero, so that of the two
    // amounts due only the one owed is filled in.
    bool Above_Zero;
};

// Every total in the order they are worked out: a total comes after the
// totals it adds. A total of no values is empty; a value that is not a
// number counts as nothing.
std::vector<Form_Total> Form_Totals();
