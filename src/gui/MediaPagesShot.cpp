#include "gui/MediaPagesShot.h"

#include "app/TalmiraRuntime.h"
#include "directory/Ostara32Doc.h"
#include "gui/MediaPages.h"

#include <QHostInfo>
#include <QTimer>

#include <cstdio>
#include <memory>

void ScreenshotMediaWizard(CTalmiraRuntime& runtime, Prompter& prompter, QWidget* window, const QString& file,
                           std::function<void()> done)
{
    struct CHeld {
        CSDPMedia entry;
        std::shared_ptr<CSDPObject> session;
    };
    auto held = std::make_shared<CHeld>();
    COstara32Doc& doc = runtime.Doc();
    held->session = CSDPObject::MakeWithoutText(doc.Environment(), QHostInfo::localHostName().toStdString());
    if (doc.MainList().Size() > 0)
        held->session->parentDirectory = doc.MainList().At(0);
    auto* wizard = new CMediaWizard(held->entry, *held->session, MediaContextOf(runtime, prompter), window);
    wizard->setAttribute(Qt::WA_DeleteOnClose);
    // The entry and session live as long as the pages that point to them.
    QObject::connect(wizard, &QObject::destroyed, [held] {});
    wizard->show();
    wizard->next();
    wizard->next();
    QTimer::singleShot(1500, wizard, [wizard, file, done] {
        if (!wizard->grab().save(file))
            std::fprintf(stderr, "talmira: cannot write %s\n", file.toLocal8Bit().constData());
        wizard->close();
        done();
    });
}
