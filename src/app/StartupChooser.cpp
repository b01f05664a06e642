// SPDX-License-Identifier: MIT
#include "StartupChooser.h"

#include "DeviceLink.h"
#include "DeviceMemory.h"
#include "Panel.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>

namespace {
enum Column { DeviceColumn, DescriptionColumn, MakerColumn, SerialNumberColumn };
constexpr int DeviceRole = Qt::UserRole;
constexpr int OtherRole = Qt::UserRole + 1;
} // namespace

StartupChooser::StartupChooser(PortLister ports, QWidget *parent)
    : QDialog(parent), m_ports(std::move(ports))
{
    setObjectName(QStringLiteral("startupChooser"));

    auto *icon = new QLabel(this);
    const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()
                        ->standardIcon(QStyle::SP_MessageBoxCritical, nullptr, this)
                        .pixmap(iconSize, iconSize));
    icon->setAlignment(Qt::AlignTop);

    m_failure = new QLabel(this);
    m_failure->setObjectName(QStringLiteral("failure"));
    m_failure->setTextFormat(Qt::PlainText);
    m_failure->setWordWrap(true);
    m_failure->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("ports"));
    m_list->setHeaderLabels({tr("Device"), tr("Description"), tr("Maker"), tr("Serial number")});
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    // A by-id name is long; its start is always the same and its end tells the port apart.
    m_list->setTextElideMode(Qt::ElideMiddle);
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_list->header()->setSectionResizeMode(DeviceColumn, QHeaderView::Stretch);
    auto *prompt = new QLabel(tr("Choose the &device for serial port 1:"), this);
    prompt->setBuddy(m_list);

    m_other = new QLineEdit(this);
    m_other->setObjectName(QStringLiteral("other"));
    m_other->setPlaceholderText(
        tr("A device such as /dev/ttyUSB0, rfc2217://host:port or service:NAME"));
    m_other->setAccessibleName(tr("Other device"));
    m_other->setClearButtonEnabled(true);
    m_other->installEventFilter(this);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *refresh = buttons->addButton(tr("&Refresh"), QDialogButtonBox::ResetRole);
    refresh->setObjectName(QStringLiteral("refresh"));
    refresh->setToolTip(tr("Looks for serial ports again, after an adapter is plugged in"));
    m_open = buttons->addButton(tr("&Open"), QDialogButtonBox::AcceptRole);
    m_open->setObjectName(QStringLiteral("open"));
    m_quit = buttons->addButton(tr("&Quit"), QDialogButtonBox::RejectRole);
    m_quit->setObjectName(QStringLiteral("quit"));
    m_quit->setDefault(true);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(refresh, &QPushButton::clicked, this, &StartupChooser::fill);
    connect(m_list, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *item) {
        sync();
        if (item && item->data(DeviceColumn, OtherRole).toBool()) m_other->setFocus();
    });
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item) {
        if (!item->data(DeviceColumn, OtherRole).toBool()) accept();
    });
    connect(m_other, &QLineEdit::textChanged, this, &StartupChooser::sync);

    auto *grid = new QGridLayout(this);
    grid->addWidget(icon, 0, 0, 2, 1);
    grid->addWidget(m_failure, 0, 1);
    grid->addWidget(prompt, 1, 1);
    grid->addWidget(m_list, 2, 1);
    grid->addWidget(m_other, 3, 1);
    grid->addWidget(buttons, 4, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(2, 1);
    resize(760, 360);

    fill();
    m_list->setFocus();
}

void StartupChooser::setFailure(const QString &text)
{
    m_failure->setText(text);
}

QString StartupChooser::device() const
{
    const QTreeWidgetItem *item = m_list->currentItem();
    if (!item) return {};
    if (item->data(DeviceColumn, OtherRole).toBool()) return m_other->text().trimmed();
    return item->data(DeviceColumn, DeviceRole).toString();
}

void StartupChooser::fill()
{
    const QString before = device();
    m_list->clear();
    QTreeWidgetItem *select = nullptr;
    const QList<FoundPort> found = m_ports ? m_ports() : QList<FoundPort>();
    for (const FoundPort &port : found) {
        auto *item = new QTreeWidgetItem(
            m_list, {port.device, port.description, port.manufacturer, port.serialNumber});
        item->setData(DeviceColumn, DeviceRole, port.device);
        item->setToolTip(DeviceColumn, port.device == port.location
                                           ? port.device
                                           : tr("%1\nNow %2. This name stays the same when the "
                                                "adapter is plugged into another socket.")
                                                 .arg(port.device, port.location));
        if (!select || port.device == before) select = item;
    }
    auto *other =
        new QTreeWidgetItem(m_list, {tr("Other…"), tr("A device or address typed below")});
    other->setData(DeviceColumn, OtherRole, true);
    if (!select) select = other;
    m_list->setCurrentItem(select);
    sync();
}

void StartupChooser::sync()
{
    const QTreeWidgetItem *item = m_list->currentItem();
    m_other->setEnabled(item && item->data(DeviceColumn, OtherRole).toBool());
    m_open->setEnabled(!device().isEmpty());
}

bool StartupChooser::eventFilter(QObject *watched, QEvent *event)
{
    // Enter after typing a device opens it; on an empty field it is still Quit.
    if (watched == m_other && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !device().isEmpty()) {
            accept();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void StartupChooser::openPortOne(Panel &panel, DeviceLink &link, DeviceMemory &memory,
                                 const PortLister &ports, const QString &title,
                                 std::function<void(bool opened)> done)
{
    auto *chooser = new StartupChooser(ports);
    chooser->setWindowTitle(title);
    const auto ask = [chooser, &link] {
        chooser->setFailure(link.errorString());
        chooser->open();
    };
    // Only a device that opened is kept: a wrong guess must not replace a good one.
    const auto finish = [chooser, &memory, done](bool opened) {
        if (opened) memory.remember(1, chooser->device());
        chooser->deleteLater();
        done(opened);
    };
    connect(chooser, &QDialog::rejected, chooser, [finish] { finish(false); });
    connect(chooser, &QDialog::accepted, chooser, [chooser, &panel, &link, ask, finish] {
        link.setDevice(1, chooser->device());
        if (!panel.load()) return ask();
        if (!panel.ports().isStarting()) finish(true);
    });
    connect(&panel.ports(), &PortControl::started, chooser, [finish] { finish(true); });
    connect(&panel.ports(), &PortControl::startFailed, chooser, ask);
    ask();
}
