// A returned report read back: the values of the form this program made,
// as whichever reader saved it holds them, checked against the form's own
// rules, and written out as data for an accounts office.
#pragma once

#include "outcome.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <vector>

// Every field of the form and what it holds, by the field's name.
using Form_Values = std::map<QString, QString>;

// The most a returned form's file may be: a form holds some 250 short
// values; a file many times that is no form of this program's, and is not
// read at all.
constexpr qsizetype Most_Form_Bytes = 16 << 20;

// The values of the travel expense report form in `pdf` (a file's bytes).
// Fails, saying why, when it is no PDF, a damaged one, too large, or not
// the form this program makes (a field of the form missing).
Result<Form_Values> Read_Returned_Form(const QByteArray &pdf);

// Something that does not hold: the field it is about, and what is wrong,
// in words.
struct Form_Finding {
    QString Field;
    QString Words;
};

// What does not hold in the form, top to bottom: an amount typed that is no
// amount; a total that differs from what its cells add up to, worked out
// anew in whole cents and without the typed amounts' cap (stale, or typed
// over); a row whose days do not add up to its TOTAL CHARGE and TOTAL CASH;
// an amount due that disagrees with the advances and the cash expense.
// Empty when everything holds.
std::vector<Form_Finding> Check_Returned_Form(const Form_Values &values);

// The values as data, a field each in the form's order (the order of Tab):
// its name, its spoken name, its value as typed, and for an amount its
// cents (none when it is empty or no amount). JSON, an object with an array
// "fields"; or CSV (RFC 4180, a header line first), where a value that a
// spreadsheet would take for a formula (=, +, -, @ first) is given a ' first.
QByteArray Values_Json(const Form_Values &values);
QByteArray Values_Csv(const Form_Values &values);
