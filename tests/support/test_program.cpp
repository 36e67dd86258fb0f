#include "test_program.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QTreeWidgetItem>

#include "catalogue_window.h"
#include "list_view.h"
#include "picture_files.h"
#include "speed_button.h"

namespace kordel::test {

namespace {

// "E" (enabled) or "D" (disabled) for each item, in order.
template <typename Item>
QString states(std::initializer_list<const Item*> items) {
    QString state;
    for (const Item* item : items)
        state += item->isEnabled() ? u'E' : u'D';
    return state;
}

}  // namespace

TestProgram::TestProgram() : fakes(FakeServices::create(services_)) {
    // The desktop's thumbnail cache of the test's own, not the user's.
    qputenv("XDG_CACHE_HOME", QFile::encodeName(dir_.path() + QStringLiteral("/cache")));
}

TestProgram::~TestProgram() = default;

void TestProgram::start(bool show) {
    app_ =
        std::make_unique<KordelApplication>(std::move(services_), folder(), folder(), libraryDir_);
    app_->createWindows();
    f = form1();
    if (show) {
        app_->showMainWindow();
        QTest::qWait(0);
    }
}

void TestProgram::trigger(const QString& name) {
    QAction* a = f->findChild<QAction*>(name);
    if (!a)
        QTest::qFail(qPrintable(QStringLiteral("no menu item ") + name), __FILE__, __LINE__);
    else
        a->trigger();
}

void TestProgram::openMenu(QMenu* menu) {
    menu->popup(QPoint(0, 0));
    menu->hide();
}

QString TestProgram::enabled(QMenu* menu, std::initializer_list<const QAction*> actions) {
    openMenu(menu);
    return states(actions);
}

QString TestProgram::statuses() const {
    QStringList texts;
    for (int i = 0; i < 4; ++i)
        texts << status(i).trimmed();
    return texts.join(u'|');
}

QString TestProgram::navigation() const {
    return states<TSpeedButton>({f->G_rev, f->G_play, f->G_top, f->G_back, f->G_step, f->G_end});
}

QStringList TestProgram::table() const {
    QStringList names;
    for (int i = 0; i <= f->lastIndex; ++i)
        names << f->fileNames[i];
    return names;
}

QStringList TestProgram::rows() const {
    QStringList captions;
    for (int r = 0; r < f->ListView->count(); ++r)
        captions << f->ListView->caption(r);
    return captions;
}

QStringList childTexts(QTreeWidgetItem* node) {
    QStringList texts;
    for (int i = 0; i < node->childCount(); ++i)
        texts << node->child(i)->text(0);
    return texts;
}

Browsing::Browsing(const Files& files, const QString& ini, Start how)
    : previous_(QDir::currentPath()) {
    if (!scratch_.isValid() || !QDir::setCurrent(scratch_.path()))
        QTest::qFail("no scratch folder", __FILE__, __LINE__);
    path_ = QDir::currentPath() + u'/';
    for (const auto& [name, data] : files)
        if (!write(name, data))
            QTest::qFail(qPrintable(QStringLiteral("cannot write ") + name), __FILE__, __LINE__);
    if (!ini.isNull())
        writeIni(ini);
    if (how == Scanned) {
        start();
        rescan();
    }
}

Browsing::~Browsing() {
    QDir::setCurrent(previous_);
}

bool Browsing::write(const QString& name, const QByteArray& data) const {
    return name.endsWith(u'/') ? QDir(path_).mkpath(name) : writeFile(file(name), data);
}

void Browsing::makeThumbnails() {
    for (int i = 0; i <= f->lastIndex; ++i) {
        form2()->ThrIL.append(QImage(96, 72, QImage::Format_RGB32));
        f->thumbWidth[i] = 96;
        f->thumbHeight[i] = 72;
    }
}

Browsing::Files Browsing::pictures(const QStringList& names, int w, int h) {
    Files files;
    for (const QString& name : names)
        files.append({name, bmp(w, h)});
    return files;
}

QByteArray bmp(int w, int h) {
    BmpLayout layout{.width = w, .height = h};
    layout.dots.assign(size_t(w) * size_t(h), 0xc82828);
    return writeBmp(layout);
}

}  // namespace kordel::test
