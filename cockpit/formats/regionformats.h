#pragma once

#include "regionview.h"

#include <QByteArray>

// A region's view as the documents that leave the program: the spreadsheet and the browser's JSON.
namespace cockpit {

// The branches as a spreadsheet (CsvText): the titles, then the figures as numbers.
QByteArray RegionCsv(const RegionView& view);

// As JSON: month, region, title, columns, rows (cells with text, number and color) and rowColors.
QByteArray RegionJsonText(const RegionView& view);

} // namespace cockpit
