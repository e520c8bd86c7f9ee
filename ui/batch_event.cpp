#include "ui/batch_event.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "history/job_event_schema.h"
#include "history/job_record.h"

namespace vexo::ui {
namespace {

namespace key = job_event::key;
namespace name = job_event::name;

ParsedBatchEvent Refuse(const QString& why) {
  return {std::nullopt, why};
}

bool HasNumber(const QJsonObject& o, const char* key) {
  return o.value(QLatin1String(key)).isDouble();
}

bool HasString(const QJsonObject& o, const char* key) {
  return o.value(QLatin1String(key)).isString();
}

}  // namespace

ParsedBatchEvent ParseBatchEvent(const QByteArray& line) {
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(line, &error);
  if (error.error != QJsonParseError::NoError || !document.isObject()) {
    return Refuse(QStringLiteral("not a JSON object"));
  }
  const QJsonObject o = document.object();
  if (o.value(QLatin1String(key::kVersion)).toInt(-1) != job_event::kVersion) {
    return Refuse(QStringLiteral("unknown event version"));
  }
  if (!HasNumber(o, key::kTime)) return Refuse(QStringLiteral("no time"));
  BatchEvent e;
  e.t_ms = static_cast<qint64>(o.value(QLatin1String(key::kTime)).toDouble());
  const QString event = o.value(QLatin1String(key::kEvent)).toString();
  auto text = [&o](const char* key) { return o.value(QLatin1String(key)).toString(); };
  if (event == QLatin1String(name::kStart)) {
    if (!HasString(o, key::kDevice)) return Refuse(QStringLiteral("start without device"));
    e.kind = BatchEvent::Kind::start;
    e.device = text(key::kDevice);
    e.usb_serial = text(key::kUsbSerial);
  } else if (event == QLatin1String(name::kPhase)) {
    if (!HasString(o, key::kName)) return Refuse(QStringLiteral("phase without name"));
    e.kind = BatchEvent::Kind::phase;
    e.phase = text(key::kName);
  } else if (event == QLatin1String(name::kProgress)) {
    if (!HasNumber(o, key::kDone) || !HasNumber(o, key::kTotal)) {
      return Refuse(QStringLiteral("progress without counts"));
    }
    e.kind = BatchEvent::Kind::progress;
    e.phase = text(key::kPhase);
    e.done = o.value(QLatin1String(key::kDone)).toInt();
    e.total = o.value(QLatin1String(key::kTotal)).toInt();
    if (e.done < 0 || e.total < 0 || e.done > e.total) {
      return Refuse(QStringLiteral("progress out of range"));
    }
  } else if (event == QLatin1String(name::kMessage)) {
    if (!HasNumber(o, key::kTextId)) return Refuse(QStringLiteral("message without id"));
    e.kind = BatchEvent::Kind::message;
    e.text_id = o.value(QLatin1String(key::kTextId)).toInt();
    e.text = text(key::kText);
  } else if (event == QLatin1String(name::kIdentity)) {
    e.kind = BatchEvent::Kind::identity;
    e.text = text(key::kHex);
  } else if (event == QLatin1String(name::kEnd)) {
    const std::optional<JobResult> result = ParseJobResult(text(key::kResult).toStdString());
    if (!result || *result == JobResult::kInterrupted) {
      return Refuse(QStringLiteral("end without result"));
    }
    e.kind = BatchEvent::Kind::end;
    e.result = *result == JobResult::kCompleted ? BatchEvent::Result::completed
               : *result == JobResult::kFailed  ? BatchEvent::Result::failed
                                                : BatchEvent::Result::stopped;
    e.exit_status = o.value(QLatin1String(key::kExitStatus)).toInt(-1);
  } else {
    return Refuse(QStringLiteral("unknown event"));
  }
  return {e, {}};
}

}  // namespace vexo::ui
