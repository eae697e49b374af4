#pragma once

#include <QPointer>
#include <QWidget>

#include "common/Messenger.h"

namespace ombrel {

// Message boxes of the desktop: the title "Feldrin Software Ombrel", the icon kinds of the core.
// The owner may be null (a box of its own, as the converter's dialog has no owner); the owner may
// also go away while the messenger lives on, so it is held by a guarded pointer.
class QtMessenger : public Messenger {
public:
    explicit QtMessenger(QWidget* owner = nullptr) : owner_(owner) {}

    void SetOwner(QWidget* owner) { owner_ = owner; }

    void Show(const std::string& text, MessageIcon icon) override;
    Answer Ask(const std::string& text, ButtonSet buttons, MessageIcon icon) override;

private:
    QPointer<QWidget> owner_;
};

}  // namespace ombrel
