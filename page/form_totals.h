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
// totals it adds. A total of no values is empty. Made once.
const std::vector<Form_Total> &Form_Totals();

// A row of the grid that a person fills: what its days add up to is what
// its TOTAL CHARGE and TOTAL CASH add up to.
struct Form_Row {
    QString Words; // the row as a reader says it: "Lunch"
    // The field where a person names a row the form leaves unlabelled, or
    // empty for a labelled row.
    QString Description;
    QStringList Days, Totals;
};

// Every such row, top to bottom.
std::vector<Form_Row> Form_Rows();
