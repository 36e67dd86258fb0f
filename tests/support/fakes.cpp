#include "fakes.h"

namespace kordel::test {

int FakeDialogs::runModal(QDialog* dialog) {
    dialog->setResult(QDialog::Rejected);
    dialog->show();
    if (onModal)
        onModal(dialog);
    if (dialog->isVisible())
        dialog->done(dialog->result());
    return dialog->result();
}

namespace {

// Hands a new fake to `owner` and returns it.
template <typename Fake, typename Service>
Fake* make(std::unique_ptr<Service>& owner) {
    owner = std::make_unique<Fake>();
    return static_cast<Fake*>(owner.get());
}

}  // namespace

FakeServices FakeServices::create(Services& s) {
    return {make<FakeDrives>(s.drives),        make<FakeShell>(s.shell),
            make<FakeDesktop>(s.desktop),      make<FakeDialogs>(s.dialogs),
            make<FakeScreen>(s.screen),        make<FakeHelp>(s.help),
            make<FakeTempFolder>(s.tempFolder)};
}

}  // namespace kordel::test
