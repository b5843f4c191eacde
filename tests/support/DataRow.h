#pragma once

#include <QTest>

#include <utility>

// One row of a data-driven test, its name followed by its values, written as
// one call. The formatter keeps a call on one line where it would break a
// chain of "<<" at every pair of neighbouring texts, and a row should read
// as one line.
template <typename... Values>
void dataRow(const char* name, Values&&... values)
{
    (QTest::newRow(name) << ... << std::forward<Values>(values));
}
