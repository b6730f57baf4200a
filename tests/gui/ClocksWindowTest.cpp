#include "gui/ClocksWindow.h"
#include "support/GuiTestSupport.h"

namespace {
using ClocksWindowTest = CDesktopTest;
} // namespace

TEST_F(ClocksWindowTest, MarksTheStreamOfAnotherGrandmasterAndOpensItWithEnter)
{
    CDesktopApp app(prompter, exit, &clock);
    ShowTtlScope(app);
    CSessionStore& doc = app.Runtime().Doc();
    const char* clocks[] = {"00-1D-C1-FF-FE-0A-11-22", "00-1D-C1-FF-FE-0A-11-22", "00-1D-C1-FF-FE-0B-33-44"};
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(doc.AddSession(CSDPObject::FromText("v=0\no=- " + std::to_string(i + 1) +
                                                          " 1 IN IP4 192.0.2.1\ns=Stagebox " + std::to_string(i + 1) +
                                                          "\nc=IN IP4 239.69.0.1/32\nt=0 0\nm=audio 5004 RTP/AVP 96\n"
                                                          "a=ts-refclk:ptp=IEEE1588-2008:" + clocks[i] + ":0\n",
                                                      app.Runtime().Environment()),
                                 doc.MainList().At(0)),
                  1);
    CClocksWindow& window = *app.ClocksWindow();
    std::shared_ptr<CSDPObject> opened;
    window.onOpen = [&](const std::shared_ptr<CSDPObject>& record) { opened = record; };
    window.show();
    QTreeView& view = window.View();
    const QAbstractItemModel& model = *view.model();
    const QModelIndex domain = Child(model, {}, "Domain 0");
    const QModelIndex other = Child(model, domain, "00-1D-C1-FF-FE-0B-33-44");
    ASSERT_EQ(model.rowCount(Child(model, domain, "00-1D-C1-FF-FE-0A-11-22")), 2);
    const QModelIndex stream = model.index(0, 0, other);
    EXPECT_EQ(stream.siblingAtColumn(1).data().toString(), "differs from the domain's other streams");
    view.setCurrentIndex(stream);
    QTest::keyClick(&view, Qt::Key_Return);
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(opened->name, "Stagebox 3");
}
