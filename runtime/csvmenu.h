#pragma once

#include <QByteArray>
#include <QPoint>
#include <QString>

#include <functional>

class QWidget;

// A table's context menu with "Salvar como CSV...": asks where (suggesting `name`) and writes what `text`
// gives, whole or not at all; a failure is one Portuguese message.
void OfferCsvSave(QWidget* parent, const QPoint& globalPos, const QString& name, const std::function<QByteArray()>& text);
