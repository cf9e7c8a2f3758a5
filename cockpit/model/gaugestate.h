#pragma once

#include "presentation.h"

#include <QVector>

#include <algorithm>
#include <cmath>
#include <limits>

namespace cockpit {

struct GaugeZone {
    int color = 0;
    double start = 0.0;
    double stop = 0.0;
};

// What a dial gauge shows, without the widget: range, value, needle and zones. Its setters behave as the
// desktop gauge's do (a value beyond a usable dial rests at the nearer end; 1 to 256 zones, one always
// selected), so the rules of gaugerules_shared.h give it the same state they give the widget.
class GaugeState {
public:
    double MinValue() const { return m_min; }
    double MaxValue() const { return m_max; }
    double Progress() const { return m_progress; }
    int NeedleColor() const { return m_needle; }
    int NeedleHubColor() const { return m_hub; }
    int Annulars() const { return static_cast<int>(m_zones.size()); }
    double AnnularStartValue() const { return m_zones[m_selected].start; }
    double AnnularStopValue() const { return m_zones[m_selected].stop; }
    int AnnularColor() const { return m_zones[m_selected].color; }
    const QVector<GaugeZone>& Zones() const { return m_zones; }
    // The figure to compare with (the month before), drawn as a grey needle; NaN for none.
    double GhostValue() const { return m_ghost; }
    void SetGhostValue(double v) { m_ghost = v; }

    void SetMinValue(double v) { m_min = v; }
    void SetMaxValue(double v) { m_max = v; }
    void SetProgress(double v)
    {
        m_progress = ValueOnDial(m_min, m_max, v);
    }
    void SetNeedleCOlor(int c) { m_needle = c & 0xFFFFFF; }
    void SetNeedleHubCOlor(int c) { m_hub = c & 0xFFFFFF; }
    void SetAnnulars(int count)
    {
        count = std::clamp(count, 1, 256);
        m_zones.resize(count);
        m_selected = std::min(m_selected, count - 1);
    }
    void SetAnnularID(int id)
    {
        if (id >= 0 && id < Annulars())
            m_selected = id;
    }
    void SetAnnularColor(int c) { m_zones[m_selected].color = c & 0xFFFFFF; }
    void SetAnnularStartValue(double v) { m_zones[m_selected].start = v; }
    void SetAnnularStopValue(double v) { m_zones[m_selected].stop = v; }
    void SetAnnularInnerRadius(double) {}
    void SetAnnularouterRadius(double) {}

private:
    double m_min = 0.0;
    double m_max = 100.0;
    double m_progress = 0.0;
    double m_ghost = std::numeric_limits<double>::quiet_NaN();
    int m_needle = clRed;
    int m_hub = clRed;
    QVector<GaugeZone> m_zones = QVector<GaugeZone>(3);
    int m_selected = 0;
};

} // namespace cockpit
