#pragma once
// Test double for the message-box service: records every box instead of
// showing it and answers with a preset result. Installs itself for its lifetime.
#include "ui/MessageBoxService.h"

#include <QList>

class CMessageBoxRecorder final : public CMessageBoxService {
public:
    struct Entry {
        QString text;
        QString caption;
        Icon icon;
        Buttons buttons;
    };

    explicit CMessageBoxRecorder(int answer = ResultOk);
    ~CMessageBoxRecorder() override;
    CMessageBoxRecorder(const CMessageBoxRecorder&) = delete;
    CMessageBoxRecorder& operator=(const CMessageBoxRecorder&) = delete;

    int Show(QWidget* parent, const QString& text, const QString& caption, Icon icon,
             Buttons buttons) override;

    const QList<Entry>& Entries() const { return m_entries; }
    void SetAnswer(int answer) { m_answer = answer; }

private:
    QList<Entry> m_entries;
    int m_answer;
    CMessageBoxService* m_previous;
};
