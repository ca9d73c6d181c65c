// The simple demodulator page under the main window's slot tabs: mode, input
// frequency, service name, descrambling and downconverter, the status graphs,
// and the buttons for Apply, Refresh, configuration files and the full page.
#pragma once
#include <QPointer>
#include <QWidget>

#include "ui/qt_page.h"

class IPageHost;
struct ParamEntry;
class CDemodDialog;
class CStatusGraphs;
class QPushButton;

class CSimpleDemodDialog : public QWidget, public QtPage {
    Q_OBJECT
public:
    CSimpleDemodDialog(IPageHost& host, QWidget* parent);
    ~CSimpleDemodDialog() override;

    // The demod mode last read from the unit (0 narrowband, 1 DVBT).
    int Mode() const;
    CDemodDialog* FullPage() const;
    CStatusGraphs* Graphs() const { return graphs_; }

    // Apply, Refresh, Save/Load config and Advanced here, Refresh and Apply on
    // the full page when it is open.
    void EnableActionButtons(bool enable);
    // The 13 rows of the downconverter list (control 1115).
    void FillDownconverters();
    // Destroys the full page if it is open.
    void CloseFullPage();
    // The full page tells it is being destroyed.
    void FullPageClosed();

    // Handlers, public so the window's commands and tests can run them.
    void OnModeRadio(int id);
    void OnApply();
    void OnRefresh();
    void OnSaveConfig();
    void OnLoadConfig();
    void OnAdvanced();
    void OnKey();

protected:
    void ListenToEvents();

private:
    void FeedGraphs(const ParamEntry* row);

    IPageHost& host_;
    int lastModeRadio_ = 0;
    QPointer<CDemodDialog> fullPage_;
    CStatusGraphs* graphs_ = nullptr;
    QPushButton* apply_ = nullptr;
    QPushButton* refresh_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* load_ = nullptr;
    QPushButton* advanced_ = nullptr;
};
