#pragma once
// Binds the placement store to a real top-level QWidget: reads and applies its
// placement, and hooks the store into the widget's show and close steps with an
// event filter (restore before the widget's own show handler, centring by the
// work area afterwards unless a placement was restored; storing after the close
// has been allowed). UI thread only.

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

#include "shell/form_storage.h"

namespace tivaro {

class WidgetPlacementWindow final : public PlacementWindow {
public:
    WidgetPlacementWindow(QWidget& widget, bool mainWindow);

    QString Name() const override;
    bool IsVisible() const override;
    bool IsMainWindow() const override { return m_mainWindow; }
    bool ApplicationMinimized() const override;
    WindowPlacement Placement() const override;
    void ApplyPlacement(const WindowPlacement& placement) override;
    QSize Size() const override;
    void SetPositionAsPlaced() override { m_centred = false; }
    void SetState(WindowState state) override;
    void PostApplicationMinimize() override;
    QSize DialogFrame() const override;
    QSize DesktopSize() const override;
    int PixelsPerInch() const override;
    QList<QRect> Screens() const override;

    // Centres the window on the work area when its rule is still centred, then
    // the rule becomes as-placed.
    void CentreIfStillCentred();
    bool PositionCentred() const { return m_centred; }

private:
    QWidget& m_widget;
    bool m_mainWindow;
    bool m_centred = true;
    int m_flags = 0;
    QPoint m_minPosition{-1, -1};
    QPoint m_maxPosition{-1, -1};
};

class FormPlacementHook final : public QObject {
    Q_OBJECT
public:
    FormPlacementHook(QWidget& window, PlacementValueStore* store, bool mainWindow = true);
    ~FormPlacementHook() override;

    FormStorage& Storage() { return m_storage; }
    WidgetPlacementWindow& Window() { return m_window; }
    // The destroy step: stores the placement unless it was stored in this run.
    void DestroyStep() { m_storage.DestroyStep(); }
    // Called once a close has been allowed and the placement stored.
    void SetClosedHandler(std::function<void()> handler) { m_closed = std::move(handler); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_widget;
    WidgetPlacementWindow m_window;
    FormStorage m_storage;
    std::function<void()> m_closed;
};

}  // namespace tivaro
