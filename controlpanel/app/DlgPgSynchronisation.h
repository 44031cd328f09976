#pragma once
// The "Synchronisation" page: the clock master (the computer or one device),
// each device's clock source, the rate mode and the sampling rate. Clock
// master, rate mode and sources are collected and sent by one Apply; the
// sampling rate has its own Apply.
#include <QDialog>
#include <QString>

#include <functional>
#include <string>

#include "controlpanel/app/DialogPage.h"
#include "device/Records.h"

class CListCtrlEx;
class QComboBox;
class QPushButton;
class QRadioButton;

// Clock-source text of a sync-mode entry: the kind's text, then " (name)"
// when the entry has a name.
QString ClockSourceText(const qel::QEL_SYNC_MODE_ENTRY& entry, const QString& name);
// "%d.%d kHz" of a rate in Hz.
QString SampleRateText(std::uint32_t hz);

// Picks one device's clock source on a copy of its sync-mode record.
class CSubDlgDeviceSynch : public QDialog {
    Q_OBJECT
public:
    using TextFn = std::function<QString(const std::string&)>;
    CSubDlgDeviceSynch(qel::QEL_DEVICE_SYNCH_MODE_INFO& record, TextFn text, QWidget* parent = nullptr);

    CListCtrlEx* List() const { return m_list; }

private:
    void OnItemChanged(int row);

    qel::QEL_DEVICE_SYNCH_MODE_INFO& m_record;
    CListCtrlEx* m_list = nullptr;
    bool m_notify = false;
};

class CDlgPgSynchronisation : public CDialogPage {
    Q_OBJECT
public:
    CDlgPgSynchronisation();

    // The view's refresh runs both, list first.
    void Refresh() override;
    void RefreshList();
    void RefreshRate();

    int MasterRow() const { return m_masterRow; }

protected:
    bool OnInitDialog() override;

private:
    void OnClockItemChanged(int row);
    void OnChangeSyncMode();
    void OnApplySync();
    void OnRadio();
    void OnRateSelChange();
    void OnApplyRate();
    // Radios, drop-down and the mode button from the kept driver values.
    void UpdateControls();
    void WriteRadio();
    void EnableRateList();
    QString MasterKindText() const;

    CListCtrlEx* m_list = nullptr;
    QPushButton* m_changeMode = nullptr;
    QPushButton* m_applySync = nullptr;
    QRadioButton* m_manual = nullptr;
    QRadioButton* m_automatic = nullptr;
    QComboBox* m_rates = nullptr;
    QPushButton* m_applyRate = nullptr;
    int m_masterRow = -1;
    bool m_notify = false;
    int m_radio = 0;
};
