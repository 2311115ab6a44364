#pragma once

#include <QTest>

namespace tessel::test {

// Adds one row to a data table on a single line: row("name", column1, column2, ...).
// Text given as a plain string literal fills a QString column.
template<typename... Values>
void row(const char *name, const Values &...values)
{
    (QTest::newRow(name) << ... << values);
}

} // namespace tessel::test
