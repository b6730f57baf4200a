#include "gui/ReceptionPage.h"

#include "gui/PreviewView.h"
#include "gui/SessionPages.h"
#include "preview/qt/PreviewService.h"

#include "reception/ReceptionPlan.h"
#include "reception/ReceptionText.h"
#include "reception/qt/ReceptionService.h"
#include "sdp/SDPObject.h"
#include "views/DisplayText.h"

#include <QGroupBox>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QLabel* Line(QWidget* parent, const char* name)
{
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setFocusPolicy(Qt::TabFocus); // read by keyboard and screen readers
    label->setWordWrap(true);
    return label;
}

QString Types(const std::vector<int>& types)
{
    QStringList out;
    for (int t : types)
        out << QString::number(t);
    return out.isEmpty() ? QStringLiteral("none") : out.join(' ');
}

QString Percent(uint64_t part, uint64_t whole)
{
    return whole ? QString::number(100.0 * double(part) / double(whole), 'f', 2) + " %" : QStringLiteral("0 %");
}

} // namespace

QColor ReceptionStateColor(int state)
{
    switch (EReceptionState(state)) {
    case EReceptionState::Receiving: return QColor(0x1B, 0x7F, 0x2A);
    case EReceptionState::Impaired: return QColor(0xB3, 0x6B, 0x00);
    case EReceptionState::Silent: return QColor(0xB0, 0x1E, 0x1E);
    case EReceptionState::NotWatched: return QColor(0x70, 0x70, 0x70);
    }
    return Qt::black;
}

CBitRatePlot::CBitRatePlot(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(120, 48);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName("Bit rate of the last 60 seconds");
}

void CBitRatePlot::SetHistory(std::vector<double> bitsPerSecond)
{
    m_history = std::move(bitsPerSecond);
    double peak = 0;
    for (double b : m_history)
        peak = std::max(peak, b);
    setToolTip(QString("Last %1 s, peak %2").arg(m_history.size()).arg(Q(BitRateText(peak))));
    update();
}

void CBitRatePlot::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    p.fillRect(frame, palette().base());
    p.setPen(palette().mid().color());
    p.drawRect(frame);
    double peak = 0;
    for (double b : m_history)
        peak = std::max(peak, b);
    const QFontMetrics metrics(font());
    const int textHeight = metrics.height();
    const QRect area = frame.adjusted(2, textHeight + 2, -1, -1);
    if (peak > 0 && area.height() > 2) {
        // 60 slots whatever the history holds, newest on the right.
        const double slot = double(area.width()) / 60.0;
        const double start = area.right() + 1 - slot * double(m_history.size());
        p.setPen(Qt::NoPen);
        p.setBrush(palette().highlight());
        for (size_t i = 0; i < m_history.size(); ++i) {
            const int h = int(double(area.height()) * m_history[i] / peak + 0.5);
            const QRectF bar(start + slot * double(i), area.bottom() + 1 - h, std::max(1.0, slot - 1), h);
            p.drawRect(bar);
        }
    }
    p.setPen(palette().text().color());
    p.drawText(frame.adjusted(4, 1, -4, 0), Qt::AlignLeft | Qt::AlignTop,
               peak > 0 ? QString("peak %1").arg(Q(BitRateText(peak))) : QStringLiteral("no data"));
    p.drawText(frame.adjusted(4, 1, -4, 0), Qt::AlignRight | Qt::AlignTop, QStringLiteral("60 s"));
}

CAvailabilityBar::CAvailabilityBar(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(200, 30);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName("Availability of the last 24 hours");
}

void CAvailabilityBar::SetHours(std::vector<std::optional<double>> hours)
{
    m_hours = std::move(hours);
    int sampled = 0, whole = 0;
    for (const auto& h : m_hours)
        if (h) {
            ++sampled;
            whole += *h >= 1.0;
        }
    setToolTip(QString("Up all the hour in %1 of the %2 hours sampled").arg(whole).arg(sampled));
    update();
}

void CAvailabilityBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QFontMetrics metrics(font());
    const QRect cells = rect().adjusted(0, 0, -1, -metrics.height() - 2);
    const int n = std::max<int>(1, int(m_hours.size()));
    const double width = double(cells.width()) / n;
    for (int i = 0; i < int(m_hours.size()); ++i) {
        const std::optional<double>& h = m_hours[size_t(i)];
        const QColor colour = !h ? palette().mid().color()
                              : *h >= 1.0 ? ReceptionStateColor(int(EReceptionState::Receiving))
                              : *h >= 0.9 ? ReceptionStateColor(int(EReceptionState::Impaired))
                                          : ReceptionStateColor(int(EReceptionState::Silent));
        p.fillRect(QRectF(cells.left() + width * i, cells.top(), std::max(1.0, width - 1), cells.height()), colour);
    }
    p.setPen(palette().text().color());
    const QRect legend(0, cells.bottom() + 2, cells.width(), metrics.height());
    p.drawText(legend, Qt::AlignLeft, "24 h ago");
    p.drawText(legend, Qt::AlignHCenter, "12 h");
    p.drawText(legend, Qt::AlignRight, "now");
}

CReceptionPage::CReceptionPage(const std::shared_ptr<CSDPObject>& record, CReceptionService& service,
                               CPreviewService* preview, const CWatchHooks* watch, QWidget* parent)
    : QWidget(parent), m_record(record), m_service(service), m_watchHooks(watch), m_preview(preview)
{
    auto* outer = new QVBoxLayout(this);
    m_summary = Line(this, "summary");
    m_summary->setText("Not watched yet.");
    outer->addWidget(m_summary);
    m_availability = Line(this, "availability");
    m_bar = new CAvailabilityBar(this);
    outer->addWidget(m_availability);
    outer->addWidget(m_bar);
    m_availability->hide();
    m_bar->hide();
    auto* minute = new QTimer(this);
    connect(minute, &QTimer::timeout, this, &CReceptionPage::RefreshAvailability);
    minute->start(60000);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* inner = new QWidget;
    auto* column = new QVBoxLayout(inner);
    const CSDPObject& r = *record;
    const CReceptionPlan plan = PlanReception(r);
    for (size_t i = 0; i < r.media.size(); ++i) {
        const CSDPMedia& m = r.media[i];
        CMediaBox b;
        b.box = new QGroupBox(QString("%1 %2  %3/%4")
                                  .arg(i + 1)
                                  .arg(DisplayText(m.media), DisplayText(m.address), DisplayText(m.port)),
                              inner);
        b.box->setObjectName(QString("media%1").arg(i));
        auto* grid = new QGridLayout(b.box);
        b.state = Line(b.box, "state");
        QFont bold = b.state->font();
        bold.setBold(true);
        b.state->setFont(bold);
        b.traffic = Line(b.box, "traffic");
        b.rtp = Line(b.box, "rtp");
        b.timing = Line(b.box, "timing");
        b.payload = Line(b.box, "payload");
        b.ts = Line(b.box, "ts");
        b.senders = Line(b.box, "senders");
        b.plot = new CBitRatePlot(b.box);
        b.plot->setObjectName("plot");
        int row = 0;
        // The picture and the meters above the packet figures.
        if (m_preview && (m.media == "video" || m.media == "audio")) {
            b.preview = new CPreviewView(b.box);
            b.preview->setObjectName("preview");
            grid->addWidget(b.preview, row++, 0, 1, 2);
        }
        const int first = row;
        for (QLabel* label : {b.state, b.traffic, b.rtp, b.timing, b.payload, b.ts, b.senders})
            grid->addWidget(label, row++, 0);
        grid->addWidget(b.plot, first, 1, 3, 1, Qt::AlignTop);
        grid->setColumnStretch(0, 3);
        grid->setColumnStretch(1, 2);
        for (QLabel* label : {b.rtp, b.timing, b.payload, b.ts, b.senders})
            label->hide();
        b.state->setText("not watched yet");
        column->addWidget(b.box);
        m_boxes.push_back(b);
    }
    // Each redundant pair becomes one box with its legs inside, where the first leg stood.
    for (const CDupPair& pair : plan.pairs) {
        CPairBox p;
        p.box = new QGroupBox(QString("Redundant stream (ST 2022-7): media %1 and %2").arg(pair.legA + 1).arg(pair.legB + 1),
                              inner);
        p.box->setObjectName(QString("pair%1").arg(m_pairs.size()));
        auto* legs = new QVBoxLayout(p.box);
        p.merged = Line(p.box, "merged");
        p.merged->setText("not watched yet");
        legs->addWidget(p.merged);
        column->insertWidget(column->indexOf(m_boxes[size_t(pair.legA)].box), p.box);
        for (const auto& [index, name] : {std::pair(pair.legA, "A"), std::pair(pair.legB, "B")}) {
            QGroupBox* leg = m_boxes[size_t(index)].box;
            column->removeWidget(leg);
            leg->setParent(p.box);
            leg->setTitle(QString("Leg %1: %2").arg(name, leg->title()));
            legs->addWidget(leg);
        }
        m_pairs.push_back(p);
    }
    column->addStretch(1);
    scroll->setWidget(inner);
    outer->addWidget(scroll, 1);
    connect(&m_service, &CReceptionService::FiguresArrived, this, &CReceptionPage::Update);
    if (m_preview)
        connect(m_preview, &CPreviewService::PreviewChanged, this, &CReceptionPage::UpdatePreview);
}

CReceptionPage::~CReceptionPage()
{
    if (m_watch)
        m_service.Unwatch(m_watch);
    if (m_previewWatch)
        m_preview->Unwatch(m_previewWatch);
}

void CReceptionPage::RefreshAvailability()
{
    const std::optional<CAvailability> a =
        m_watchHooks && m_watchHooks->availability ? m_watchHooks->availability(*m_record) : std::nullopt;
    m_availability->setVisible(a.has_value());
    m_bar->setVisible(a.has_value());
    if (!a)
        return;
    const auto share = [](const std::optional<double>& v) {
        return v ? QString::number(*v * 100, 'f', 2) + " %" : QStringLiteral("not known yet");
    };
    m_availability->setText(QString("Watched all the time. Available over 24 hours: %1; over 7 days: %2")
                                .arg(share(a->day), share(a->week)));
    m_bar->SetHours(a->hours);
}

void CReceptionPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    RefreshAvailability();
    if (m_watch)
        return;
    // The sheet holds the record's lock while it is open.
    m_watch = m_service.Watch(PlanReception(*m_record));
    if (m_preview) {
        // Watched, so every picture is decoded: black and freeze need them.
        preview::CPreviewOptions options;
        options.everyFrame = true;
        std::vector<preview::CPreviewSource> sources = m_preview->SourcesOf(*m_record);
        for (const preview::CPreviewSource& s : sources) {
            if (size_t(s.mediaIndex) >= m_announced.size())
                m_announced.resize(size_t(s.mediaIndex) + 1);
            m_announced[size_t(s.mediaIndex)] = s.announced;
        }
        m_previewWatch = m_preview->Watch(std::move(sources), options, m_record.get());
    }
    m_summary->setText("Watching; the first figures come within a second.");
}

void CReceptionPage::UpdatePreview(int id)
{
    if (id != m_previewWatch)
        return;
    const auto* latest = m_preview->Latest(id);
    if (!latest)
        return;
    const double now = preview::SteadySeconds();
    for (const auto& [index, snapshot] : *latest)
        if (size_t(index) < m_boxes.size() && m_boxes[size_t(index)].preview)
            m_boxes[size_t(index)].preview->Show(snapshot, m_announced[size_t(index)], now);
}

const CSessionFigures* CReceptionPage::Shown() const { return m_watch ? m_service.Latest(m_watch) : nullptr; }

void CReceptionPage::Update(int id)
{
    if (id != m_watch)
        return;
    const CSessionFigures* figures = m_service.Latest(id);
    if (!figures)
        return;
    m_summary->setText(Q(ReceptionSummary(*figures)));
    for (const CMediaFigures& m : figures->media)
        if (size_t(m.mediaIndex) < m_boxes.size())
            Fill(m_boxes[size_t(m.mediaIndex)], m);
    for (size_t i = 0; i < figures->pairs.size() && i < m_pairs.size(); ++i)
        FillPair(m_pairs[i], figures->pairs[i], *figures);
}

void CReceptionPage::FillPair(CPairBox& box, const CDupFigures& pair, const CSessionFigures& session)
{
    QStringList legs;
    for (const auto& [index, name] : {std::pair(pair.legA, "A"), std::pair(pair.legB, "B")})
        if (size_t(index) < session.media.size()) {
            const CMediaFigures& m = session.media[size_t(index)];
            legs << QString("leg %1 %2, %3 lost").arg(name, ReceptionStateName(m.state), Q(CountText(m.lost)));
        }
    QString text = pair.aligned
                       ? QString("Merged: %1 expected, %2 lost (%3)").arg(Q(CountText(pair.expected)), Q(CountText(pair.lost)),
                                                                      Percent(pair.lost, pair.expected))
                       : QStringLiteral("Legs not aligned: they number the same packets differently, so there is no "
                                        "merged figure");
    if (pair.skewMs)
        text += QString("; leg B %1 ms after leg A (largest %2 ms)")
                    .arg(*pair.skewMs, 0, 'f', 2)
                    .arg(pair.maxSkewMs.value_or(0), 0, 'f', 2);
    QString legText = legs.join("; ");
    if (!legText.isEmpty())
        legText[0] = legText[0].toUpper();
    box.merged->setText(text + "\n" + legText);
}

void CReceptionPage::Fill(CMediaBox& b, const CMediaFigures& m)
{
    QString state = ReceptionStateName(m.state);
    state[0] = state[0].toUpper();
    if (!m.note.empty())
        state += " (" + Q(m.note) + ")";
    b.state->setText(state);
    QPalette palette = b.state->palette();
    palette.setColor(QPalette::WindowText, ReceptionStateColor(int(m.state)));
    b.state->setPalette(palette);
    b.plot->SetHistory(m.history);
    if (m.state == EReceptionState::NotWatched) {
        b.traffic->setText("");
        for (QLabel* label : {b.rtp, b.timing, b.payload, b.ts, b.senders})
            label->hide();
        return;
    }
    QString traffic = QString("%1 packets, %2 bytes; %3 (10 s: %4)")
                          .arg(Q(CountText(m.packets)), Q(CountText(m.bytes)), Q(BitRateText(m.bitRate1s)),
                               Q(BitRateText(m.bitRate10s)));
    if (m.malformed)
        traffic += QString("; %1 malformed").arg(Q(CountText(m.malformed)));
    if (m.kernelDrops)
        traffic += QString("; %1 dropped by the system").arg(Q(CountText(m.kernelDrops)));
    b.traffic->setText(traffic);

    b.rtp->setVisible(m.rtp);
    b.timing->setVisible(m.rtp || m.msSinceLastPacket >= 0);
    b.payload->setVisible(m.rtp);
    if (m.rtp) {
        b.rtp->setText(QString("RTP: %1 expected, %2 lost (%3, last 10 s %4 %), %5 duplicates, %6 out of order")
                           .arg(Q(CountText(m.expected)), Q(CountText(m.lost)), Percent(m.lost, m.expected))
                           .arg(m.lossRate10s * 100, 0, 'f', 2)
                           .arg(Q(CountText(m.duplicates)), Q(CountText(m.outOfOrder))));
        QStringList ssrcs;
        for (uint32_t s : m.ssrcs)
            ssrcs << QString("0x%1").arg(s, 8, 16, QChar('0'));
        b.payload->setText(QString("Payload types %1 (announced %2)%3; SSRC %4, %5 changes")
                               .arg(Types(m.payloadTypes), Types(m.announcedTypes),
                                    m.payloadMismatch ? QStringLiteral(": not as announced") : QString(),
                                    ssrcs.isEmpty() ? QStringLiteral("none") : ssrcs.join(' '))
                               .arg(m.ssrcChanges)
                           + (m.reportedSent ? QString("; sender reports: %1 sent, %2 received meanwhile")
                                                   .arg(Q(CountText(*m.reportedSent)),
                                                        Q(CountText(m.receivedBetweenReports)))
                                             : QString()));
    }
    QString timing = m.jitterMs ? QString("Jitter %1 ms").arg(*m.jitterMs, 0, 'f', 3)
                                : (m.rtp ? QStringLiteral("Jitter unknown (no clock rate)") : QString());
    if (m.msSinceLastPacket >= 0)
        timing += QString(timing.isEmpty() ? "" : "; ") +
                  QString("last packet %1 s ago").arg(double(m.msSinceLastPacket) / 1000, 0, 'f', 1);
    b.timing->setText(timing);
    b.ts->setVisible(m.transportStream);
    if (m.transportStream) {
        QStringList pids;
        for (const CPidFigures& p : m.pids)
            pids << (p.continuityErrors ? QString("%1 (%2 errors)").arg(p.pid).arg(p.continuityErrors)
                                        : QString::number(p.pid));
        b.ts->setText(QString("MPEG-TS: %1 packets, %2 continuity errors; PIDs %3")
                          .arg(Q(CountText(m.tsPackets)), Q(CountText(m.continuityErrors)), pids.join(", ")));
    }
    QStringList senders;
    for (const std::string& s : m.senders)
        senders << Q(s);
    b.senders->setVisible(!senders.isEmpty());
    b.senders->setText("From " + senders.join(", "));
}
