// MainDialog: controls, slots, jobs and links, and the orderly stop.
#include "ostervane/ui/main_dialog.h"

#include <mutex>

#include <QMetaObject>
#include <QPointer>
#include <QTimer>

#include "ostervane/core/rom_path.h"
#include "ostervane/payloads/payloads.h"
#include "ostervane/platform/partial_backup_file.h"
#include "ostervane/ui/dialog_frame.h"
#include "ostervane/ui/dialog_units.h"

namespace ostervane::ui {

// Carries the USB library's notifications (posted on any thread) to the window's thread.  The
// window detaches itself before it goes, so a late notification reaches nothing.
class UsbWakeUp {
public:
    explicit UsbWakeUp(MainDialog *window) : window_(window) {}

    void Wake() {
        std::lock_guard lock(mutex_);
        if (window_ != nullptr) {
            QMetaObject::invokeMethod(window_, "DeliverUsbNotifications", Qt::QueuedConnection);
        }
    }
    void Detach() {
        std::lock_guard lock(mutex_);
        window_ = nullptr;
    }

private:
    std::mutex mutex_;
    MainDialog *window_;
};

MainDialog::MainDialog(const RunSettings &settings, RunLog &log, LinkFactory &links,
                       BoxAnswerer answerer, QWidget *parent)
    : QDialog(parent), log_(log), prompter_(calls_, std::move(answerer)) {
    BuildControls();
    log_.WriteLogLine(LogBannerLine(settings.romPath, settings.isBackup));
    setWindowTitle(QString::fromStdString(MainWindowTitle(settings.romPath, settings.isBackup)));
    StartSlots(settings, links);
}

MainDialog::~MainDialog() {
    StopJobs();
    if (usbLibrary_ != nullptr) {
        usbLibrary_->SetLog(nullptr);
    }
}

void MainDialog::BuildControls() {
    DialogUnitBase base;
    QWidget *body = SetUpDialog(this, layout::kMainDialog, &base);
    AddHelpMenu(this);
    setWindowTitle(QStringLiteral("Ostervane"));
    AddBanner(body, layout::kMainBanner, base);
    done_ = new QPushButton(QStringLiteral("Done"), body);
    done_->setObjectName(QStringLiteral("done"));
    done_->setDefault(true);
    Place(done_, layout::kDoneButton, base);
    connect(done_, &QPushButton::clicked, this, &QDialog::accept);

    for (size_t i = 0; i < widgets_.size(); ++i) {
        const SlotControls &at = layout::kSlots[i];
        SlotWidgets &slot = widgets_[i];
        slot.label = new QLabel(QStringLiteral("Device %1:").arg(i + 1), body);
        slot.status = new QLabel(body);
        slot.bar = new QProgressBar(body);
        slot.bar->setTextVisible(false);
        Place(slot.label, at.label, base);
        Place(slot.status, at.status, base);
        Place(slot.bar, at.bar, base);
        slot.label->hide();
        slot.status->hide();
        slot.bar->hide();
    }
}

void MainDialog::StartSlots(const RunSettings &settings, LinkFactory &links) {
    for (size_t i = 0; i < widgets_.size(); ++i) {
        slots_.push_back(std::make_unique<WindowSlot>(widgets_[i].label, widgets_[i].status,
                                                      widgets_[i].bar, this, &log_,
                                                      [this] { CloseFromJob(); }));
    }
    SlotPlan plan = PlanSlots(settings.isBackup, settings.link, settings.ports);
    if (std::string unused = UnusedPortsLogLine(plan.unusedPorts); !unused.empty()) {
        log_.WriteLogLine(unused);
    }
    if (plan.link == LinkKind::Usb && plan.usbSlots > 0) {
        usbWakeUp_ = std::make_shared<UsbWakeUp>(this);
        usbLibrary_ = &links.UsbLibrary();
        // The library names the USB devices it leaves alone, from its own thread.
        usbLibrary_->SetLog([log = &log_](const std::string &line) { log->WriteLogLine(line); });
        notifier_ = std::make_unique<UsbNotifier>(*usbLibrary_);
        notifier_->SetWakeUp([wake = usbWakeUp_] { wake->Wake(); });
    }
    for (int i = 0; i < plan.SlotCount(); ++i) {
        jobs_.push_back(std::make_unique<DebugPacket>(SlotJobSettings(settings, i)));
        DebugPacket *job = jobs_.back().get();
        if (plan.link == LinkKind::Serial) {
            SerialLink link = links.MakeSerialLink(plan.serialPorts[static_cast<size_t>(i)]);
            serialPipes_.push_back(std::move(link.pipe));
            job->AttachPipe(serialPipes_.back().get());
            link.open();
        } else {
            USBPipe *pipe = notifier_->CreateUsbPipe(static_cast<uint32_t>(i), 0,
                                                     &DebugPacket::HandlePipeEvent, job);
            // A handheld plugged back while its slot's old job unwinds is opened after that
            // job; meanwhile the old job's last events still reach its slot.
            pipe->SetWaitForTurnEnd(
                [this, job] { calls_.WaitServing([job] { job->JoinJobThread(); }); });
            job->AttachPipe(pipe);
        }
    }
    if (notifier_) {
        DeliverUsbNotifications(); // handhelds already plugged in
    }
}

JobSettings MainDialog::SlotJobSettings(const RunSettings &settings, int index) {
    JobSettings job;
    job.slotCallback = WindowSlotCallback(calls_);
    job.slot = slots_[static_cast<size_t>(index)].get();
    job.armFlashCode = ArmFlasherPayload();
    job.flashDatabase = LowLevelFlashPayload();
    job.romFileName = settings.romPath;
    job.isBackup = settings.isBackup;
    job.makeRomFile = NewPartialBackupFile; // an interrupted backup goes on where it stopped
    if (!settings.isBackup) {
        job.image = ToImageIdentity(settings.image);
    }
    job.prompter = &prompter_;
    return job;
}

void MainDialog::ApplyToSlot(int index, uint32_t code, const void *data) {
    WindowSlotCallback(calls_)(code, data, slots_.at(static_cast<size_t>(index)).get());
}

// Runs on the UI thread while the job that ended its turn waits: the job must not start another
// turn, and the window closes only once that job has returned from this call.
void MainDialog::CloseFromJob() {
    for (auto &job : jobs_) {
        job->RequestStop();
    }
    QTimer::singleShot(0, this, [this] { done(0); });
}

void MainDialog::DeliverUsbNotifications() {
    if (!stopped_ && notifier_) {
        notifier_->DeliverPending();
    }
}

void MainDialog::done(int result) {
    StopJobs();
    QDialog::done(result);
}

// The slots turn inert first, so no job waits on this thread any more; then every job is told
// to stop (which aborts its pipe) and its thread is joined.  Nothing reaches a slot or the log
// after this.
void MainDialog::StopJobs() {
    if (stopped_) {
        return;
    }
    stopped_ = true;
    if (usbWakeUp_) {
        usbWakeUp_->Detach();
    }
    calls_.MakeInert();
    prompter_.CloseOpenBoxes();
    for (auto &job : jobs_) {
        job->RequestStop();
    }
    for (auto &job : jobs_) {
        job->JoinJobThread();
    }
}

} // namespace ostervane::ui
