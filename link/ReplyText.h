#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Text rules of the controller's answers. Matching is case-sensitive; the
// value of a "key=value" answer is the text between the first and the second
// "="; numbers that cannot be read count as 0.
namespace ReplyText {

// The datagram's bytes as UTF-8, up to the first NUL byte.
QString decode(const QByteArray& datagram);

// The text between the first "=" and the next "=" (or the end); empty when
// the text holds no "=".
QString valueOfKey(const QString& text);

// Base-10 integer of the whole text, 0 when it is not one (also beyond 32 bits).
int toInt(const QString& text);

// Decimal number of the whole text in single precision, 0 when it is not one.
float toFloat(const QString& text);

// Field `index` of a "," separated list, read as a number; 0 when absent.
int listInt(const QStringList& fields, int index);
float listFloat(const QStringList& fields, int index);

} // namespace ReplyText
