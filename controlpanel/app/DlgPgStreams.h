#pragma once
// The "Streams" page: the state of every device's four isochronous plugs, a
// report for the selected device (connection result, stream number or error,
// supported and current sampling rates) and the streaming summary in status
// pane 3. It only reads.
#include <QString>

#include "controlpanel/app/DialogPage.h"
#include "controlpanel/driver/ControlPanelRecords.h"

class CListCtrlEx;
class QLabel;

// The cell of a plug in the device list.
QString PlugCellText(const qel::QEL_PLUG_STATUS& plug);
// The report of one plug (label: "AudioOutPlug" ...); empty for an idle plug.
QString PlugReportText(const QString& label, const qel::QEL_PLUG_STATUS& plug);
// "Supported sampling rates (Hz): " and the rates, `highlighted` in brackets.
QString RateLine(const qel::QEL_PLUG_STATUS& plug, std::uint32_t highlighted);

class CDlgPgStreams : public CDialogPage {
    Q_OBJECT
public:
    CDlgPgStreams();

    void Refresh() override;
    QString Report() const { return m_report; }

protected:
    bool OnInitDialog() override;

private:
    void OnItemChanged();

    CListCtrlEx* m_list = nullptr;
    QLabel* m_reportLabel = nullptr;
    QString m_report;
};
