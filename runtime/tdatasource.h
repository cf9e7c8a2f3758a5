#pragma once

#include <QObject>
#include <QPointer>

#include "tclientdataset.h"

class TClientDataSet;

// Links data-bound controls to a dataset.
class TDataSource : public QObject {
    Q_OBJECT
public:
    explicit TDataSource(QObject* parent = nullptr) : QObject(parent) {}

    TClientDataSet* DataSet() const { return m_dataSet; }
    void SetDataSet(TClientDataSet* dataSet)
    {
        if (m_dataSet == dataSet)
            return;
        m_dataSet = dataSet;
        emit dataSetChanged();
    }

signals:
    void dataSetChanged();

private:
    QPointer<TClientDataSet> m_dataSet;
};
