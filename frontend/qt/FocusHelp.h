#pragma once

#include <QEvent>
#include <QObject>
#include <QPlainTextEdit>
#include <QWidget>
#include <functional>
#include <map>
#include <string>

namespace ombrel {

// The help area of a window: when a watched control gets the focus, the window logic is told which
// one, and the area shows the logic's help text (which stays when the control has none).
template <typename Control>
class FocusHelp : public QObject {
public:
    // focus: tells the logic and returns the help text to show.
    FocusHelp(QPlainTextEdit* area, std::function<std::string(Control)> focus, QObject* parent)
        : QObject(parent), area_(area), focus_(std::move(focus)) {}

    void Watch(QWidget* control, Control which) {
        controls_.emplace(control, which);
        control->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusIn) {
            const auto found = controls_.find(watched);
            if (found != controls_.end()) {
                const QString help = QString::fromStdString(focus_(found->second));
                if (area_->toPlainText() != help) area_->setPlainText(help);
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QPlainTextEdit* area_;
    std::function<std::string(Control)> focus_;
    std::map<QObject*, Control> controls_;
};

}  // namespace ombrel
