// The Qt toolkit on the offscreen platform: a robot in the test answers the windows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "VendorSimulator.h"
#include "component/RequestPreparation.h"
#include "session/ProgressWindow.h"
#include "session/TcpFixture.h"
#include "ui-qt/QtToolkit.h"

// Qt and fontconfig keep caches for the life of the process; nothing else is excused.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libQt6\nleak:libfontconfig\n";
}

namespace trellybridge {
namespace {

// Calls `act` for each modal window that appears while the robot lives; gives up after
// `maxTurns` turns of 10 ms.
class Robot {
public:
    explicit Robot(std::function<void(QWidget*)> act, int maxTurns = 1500) : act_(std::move(act)) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this, maxTurns] {
            if (++turns_ > maxTurns) {
                timer_.stop();
                ADD_FAILURE() << "no window came to answer";
                if (QWidget* w = QApplication::activeModalWidget()) w->close();
                return;
            }
            // Windows may reuse an address: the mark tells an answered one.
            QWidget* window = QApplication::activeModalWidget();
            if (window && !window->property("answered").toBool()) {
                window->setProperty("answered", true);
                act_(window);
            }
        });
        timer_.start();
    }

private:
    std::function<void(QWidget*)> act_;
    QTimer timer_;
    int turns_ = 0;
};

class QtToolkitTest : public testing::TcpFixture {
protected:
    void SetUp() override {
        TcpFixture::SetUp();
        platform::setClock(nullptr);  // Qt's timers run in real time
        std::string whyNot;
        qt = ui::makeQtToolkit(
            [this](ui::ProgressKind, std::string_view line) { progress.emplace_back(line); },
            whyNot);
        ASSERT_TRUE(qt) << whyNot;
        ui::setToolkit(qt);
    }
    std::shared_ptr<ui::HeadlessToolkit> qt;
    std::vector<std::string> progress;
};

// Which pages a bridge opens is the component's (GetPatientTest.PropertyPagesAppearInOrder);
// here, that the toolkit shows each one, in turn, as the window a user answers, and that a
// field goes to the window and back as Windows text.
TEST_F(QtToolkitTest, EveryPageOpensInTurnAsAWindow) {
    std::vector<std::string> names, labels, bridgeChoices;  // the common page's
    Robot robot([&](QWidget* window) {
        names.push_back(window->objectName().toStdString());
        EXPECT_EQ(window->windowTitle().toStdString(), "TrellyBridge v.1.6.1");
        if (names.size() == 1) {
            auto* form = window->findChild<QFormLayout*>();
            for (int row = 0; form && row < form->rowCount(); ++row)
                if (auto* item = form->itemAt(row, QFormLayout::LabelRole))
                    labels.push_back(qobject_cast<QLabel*>(item->widget())->text().toStdString());
            auto* list = window->findChild<QComboBox*>();
            for (int i = 0; list && i < list->count(); ++i)
                bridgeChoices.push_back(list->itemText(i).toStdString());
            window->findChild<QLineEdit*>("control1")
                ->setText(QString::fromUtf8("ACME \xC3\xA9\xE2\x82\xAC"));
        }
        QPushButton* save = nullptr;
        for (auto* button : window->findChildren<QPushButton*>())
            if (button->text() == "&Save") save = button;
        ASSERT_NE(save, nullptr);
        save->click();
    });
    a.VendorFacility = "CLINIC \xE9";  // the fixture's request is TCP/IP, HL7, MEDIC
    a.DisplayProperties = "true";
    configuration::prepareRequest(testing::threadRequest(), a);
    EXPECT_EQ(names, (std::vector<std::string>{"frmCommonPropertyPage", "frmMEDICProperties",
                                               "frmTCPTest"}));
    ASSERT_EQ(labels.size(), 17U);
    EXPECT_EQ(labels.front(), "Bridge Type:");
    EXPECT_EQ(labels.back(), "Time Delay:");
    EXPECT_EQ(bridgeChoices, (std::vector<std::string>{"SERIAL", "VENDOR", "POLLING", "FOLDERS",
                                                       "TCPIP", "HTTPS", "USB"}));
    EXPECT_EQ(testing::threadRequest().config.VendorName.toText(), "ACME \xE9\x80");
    EXPECT_EQ(testing::threadRequest().config.VendorFacility.toText(), "CLINIC \xE9")
        << "shown, not edited";
}

TEST_F(QtToolkitTest, MessageBoxShowsTitleAndIconAndTakesTheAnswer) {
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    Robot robot([&](QWidget* window) {
        auto* box = qobject_cast<QMessageBox*>(window);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        icon = box->icon();
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(qt->messageBox("Overwrite?", "Attention!", ui::Icon::Critical, ui::Buttons::YesNo),
              ui::Button::No);
    EXPECT_EQ(title, "Attention!");
    EXPECT_EQ(icon, QMessageBox::Critical);
}

TEST_F(QtToolkitTest, ProgressWindowShowsTheRequestAndClosesItself) {
    vendorsim::VendorSimulator vendor({});
    std::string error;
    ASSERT_TRUE(vendor.start(error)) << error;
    a.TCPRemotePorts = std::to_string(vendor.ports()[0]);
    a.HTTPSSubjectCN = "{LOCAL IP:127.0.0.1}";
    a.TimeDelay = "50";
    QString caption, shown;
    auto* watch = new QTimer;
    watch->setInterval(5);
    QObject::connect(watch, &QTimer::timeout, [&] {
        if (QWidget* window = QApplication::activeModalWidget()) {
            caption = window->windowTitle();
            if (auto* text = window->findChild<QPlainTextEdit*>()) shown = text->toPlainText();
        }
    });
    watch->start();
    EXPECT_TRUE(comm.GetPatient(a).isTrue());
    delete watch;
    // The window showed the session's own caption and the start of its log, as it ran.
    EXPECT_EQ(caption.toStdString(), session::progressWindow().caption);
    std::string firstLine = shown.section('\n', 0, 0).toStdString();
    ASSERT_FALSE(firstLine.empty());
    EXPECT_TRUE(session::progressWindow().progressLog.starts_with(firstLine)) << firstLine;
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the window closed itself";
}

}  // namespace
}  // namespace trellybridge
