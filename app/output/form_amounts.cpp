#include "form_amounts.h"

#include <QStringList>

namespace {

// The largest sum the scripts add exactly (JavaScript's numbers are exact
// to 2^53); the same bound here.
constexpr long long Exact_Cents = 99'999'999'999'999;

const QString Dollars_How = QStringLiteral("type it in US dollars, with a point before the cents, as in 1,234.50");

bool Is_Blank(QChar c)
{
    return c == u' ' || c == u'\t' || c == QChar(0xa0) || c == u'\n' || c == u'\r';
}

QString Without_Blanks(const QString &text)
{
    qsizetype start = 0, end = text.size();
    while (start < end && Is_Blank(text[start]))
        ++start;
    while (end > start && Is_Blank(text[end - 1]))
        --end;
    return text.mid(start, end - start);
}

// What was typed, as a refusal quotes it: without the blanks around it (a
// pasted line break), and only its start when it is long.
QString Quoted(const QString &typed)
{
    const QString text = Without_Blanks(typed);
    return u'"' + (text.size() > 24 ? text.left(20) + QStringLiteral("...") : text) + u'"';
}

Amount Not_An_Amount(const QString &text, const QString &how)
{
    return {Amount::Refused, 0, Quoted(text) + QStringLiteral(" is not an amount: ") + how};
}

Amount Misplaced(const QString &text, QChar c)
{
    if (c == u',' || c == u'.')
        return Not_An_Amount(text, QStringLiteral("use a point before the cents, and commas only between thousands, "
                                                  "as in 1,234.50"));
    if (QStringLiteral("-+()").contains(c))
        return Not_An_Amount(text, QStringLiteral("this form takes no credits: type the amount without a sign or "
                                                  "brackets, as in 5.00"));
    if (Is_Blank(c))
        return Not_An_Amount(text, QStringLiteral("leave no space inside an amount, as in 1,234.50"));
    return Not_An_Amount(text, Dollars_How);
}

// The digits before the point: groups of three after commas, the first of
// one to three digits and not begun by a zero.
std::optional<Amount> Whole_Dollars_Fault(const QString &text, const QString &whole)
{
    const QStringList groups = whole.split(u',');
    if (groups.size() == 1)
        return std::nullopt;
    if (groups[0].isEmpty() || groups[0].size() > 3)
        return Misplaced(text, u',');
    if (groups[0][0] == u'0')
        return Not_An_Amount(text, QStringLiteral("a number with commas does not begin with 0, as in 1,234.50 or 0.50"));
    for (qsizetype i = 1; i < groups.size(); ++i)
        if (groups[i].size() != 3)
            return Misplaced(text, u',');
    return std::nullopt;
}

} // namespace

Amount Read_Amount(const QString &text, std::optional<long long> most)
{
    QString body = Without_Blanks(text);
    if (body.isEmpty())
        return {Amount::Empty, 0, {}};
    if (body[0] == u'$')
        body = Without_Blanks(body.mid(1));
    for (const QChar c : body)
        if ((c < u'0' || c > u'9') && c != u',' && c != u'.')
            return Misplaced(text, c);
    const qsizetype point = body.indexOf(u'.');
    const QString whole = point < 0 ? body : body.left(point), cents = point < 0 ? QString() : body.mid(point + 1);
    if (cents.contains(u'.') || cents.contains(u','))
        return Misplaced(text, cents.contains(u'.') ? u'.' : u',');
    if (cents.size() > 2)
        return Not_An_Amount(text, QStringLiteral("an amount has two digits of cents at most, as in 1,234.50"));
    if (const std::optional<Amount> fault = Whole_Dollars_Fault(text, whole))
        return *fault;
    if (whole.isEmpty() && cents.isEmpty())
        return Not_An_Amount(text, Dollars_How);
    const QString digits = QString(whole).remove(u',') + (cents + QStringLiteral("00")).left(2);
    const long long limit = most.value_or(Exact_Cents);
    long long total = 0;
    for (const QChar digit : digits) {
        total = total * 10 + (digit.unicode() - u'0');
        if (total > limit)
            return {Amount::Refused, 0,
                    most ? Quoted(text) + QStringLiteral(" is more than this form takes: %1 at most").arg(Shown_Amount(*most))
                         : Quoted(text) + QStringLiteral(" is too large to add up")};
    }
    return {Amount::Cents, total, {}};
}

QString Shown_Amount(long long cents)
{
    const bool negative = cents < 0;
    const long long magnitude = negative ? -cents : cents;
    QString dollars = QString::number(magnitude / 100);
    for (qsizetype i = dollars.size() - 3; i > 0; i -= 3)
        dollars.insert(i, u',');
    return (negative ? QStringLiteral("-") : QString()) + dollars + u'.' +
           QString::number(magnitude % 100).rightJustified(2, u'0');
}
