// Draws every settings page, the TCP test dialog and the progress window on Qt's offscreen
// platform and saves each as <name>.png in the folder given: the README's pictures.
#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <memory>
#include <string>

#include "SampleRequest.h"
#include "VendorSimulator.h"
#include "common/RequestState.h"
#include "component/RequestPreparation.h"
#include "platform/FileSystem.h"
#include "platform/SettingsStore.h"
#include "trellybridge/TrellyBridgeComm.h"
#include "ui-qt/QtToolkit.h"

using namespace trellybridge;

namespace {

// Saves each settings page as it opens, then saves it; saves the progress window each
// time its status changes. Gives up after a minute.
class Camera {
public:
    explicit Camera(QString folder) : folder_(std::move(folder)) {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] { look(); });
        timer_.start();
    }

private:
    void look() {
        if (++turns_ > 3000) QApplication::exit(1);
        QWidget* window = QApplication::activeModalWidget();
        if (!window) return;
        QString name = window->objectName();
        if (name.startsWith("frm")) {
            if (window->property("taken").toBool()) return;
            window->setProperty("taken", true);
            window->grab().save(folder_ + "/" + name + ".png");
            for (auto* button : window->findChildren<QPushButton*>())
                if (button->text() == "&Save") button->click();
            return;
        }
        auto* status = window->findChild<QLabel*>("lblStatus");
        if (status && status->text() != lastStatus_) {
            lastStatus_ = status->text();
            window->grab().save(folder_ + "/progress-window.png");
        }
    }

    QString folder_;
    QTimer timer_;
    QString lastStatus_;
    int turns_ = 0;
};

// The simulator's sample request as a site with windows sets it: pages shown, a slower
// pace a reader can follow, one end character for every format.
GetPatientArguments request(const char* bridge, const char* format, const char* vendor) {
    GetPatientArguments a = vendorsim::sampleRequest("12345", bridge, format);
    a.VendorName = vendor;
    a.VendorFacility = "LAB1";
    a.VendorRequestTag = "<%DYNAMIC%>";
    a.EOFCharacter = "28";
    a.TCPRemoteHostName = "127.0.0.1";
    a.DisplayProperties = "true";
    a.TimeDelay = "300";
    return a;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    std::string scratch = fs::makeTemporaryFolder("trellybridge-screenshots");
    fs::mapDrive('C', scratch);
    platform::setSettingsStore(std::make_shared<platform::MemorySettingsStore>());
    std::string whyNot;
    auto toolkit = ui::makeQtToolkit({}, whyNot);
    if (!toolkit) {
        std::fprintf(stderr, "No windows: %s\n", whyNot.c_str());
        return 1;
    }
    ui::setToolkit(toolkit);
    Camera camera(QString::fromLocal8Bit(argv[1]));

    // The pages of three requests cover all seven pages and the TCP test dialog.
    for (GetPatientArguments a :
         {request("SERIAL", "HL7", "MEDIC"), request("HTTPS", "STANDARD", "HIS"),
          request("TCPIP", "HL7", "MEDIC")}) {
        RequestState state;
        configuration::prepareRequest(state, a);
    }

    vendorsim::VendorSimulator vendor({});
    if (!vendor.start(whyNot)) {
        std::fprintf(stderr, "simulator: %s\n", whyNot.c_str());
        return 1;
    }
    GetPatientArguments a = request("TCPIP", "HL7", "MEDIC");
    a.DisplayProperties = "false";
    a.TCPRemotePorts = std::to_string(vendor.ports()[0]);
    a.HTTPSSubjectCN = "{LOCAL IP:127.0.0.1}";
    TrellyBridgeComm comm;
    bool found = comm.GetPatient(a).isTrue();
    comm.closeConnection();
    ui::setToolkit(nullptr);
    fs::removeTree(scratch);
    return found ? 0 : 1;
}
