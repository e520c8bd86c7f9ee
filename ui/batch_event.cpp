#include "ui/batch_event.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <iterator>

namespace vexo::ui {
namespace {

constexpr int kEventVersion = 1;

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
  if (o.value(QLatin1String("v")).toInt(-1) != kEventVersion) {
    return Refuse(QStringLiteral("unknown event version"));
  }
  if (!HasNumber(o, "t")) return Refuse(QStringLiteral("no time"));
  BatchEvent e;
  e.t_ms = static_cast<qint64>(o.value(QLatin1String("t")).toDouble());
  const QString name = o.value(QLatin1String("event")).toString();
  auto text = [&o](const char* key) { return o.value(QLatin1String(key)).toString(); };
  if (name == QLatin1String("start")) {
    if (!HasString(o, "device")) return Refuse(QStringLiteral("start without device"));
    e.kind = BatchEvent::Kind::start;
    e.device = text("device");
    e.usb_serial = text("usb_serial");
  } else if (name == QLatin1String("phase")) {
    if (!HasString(o, "name")) return Refuse(QStringLiteral("phase without name"));
    e.kind = BatchEvent::Kind::phase;
    e.phase = text("name");
  } else if (name == QLatin1String("progress")) {
    if (!HasNumber(o, "done") || !HasNumber(o, "total")) {
      return Refuse(QStringLiteral("progress without counts"));
    }
    e.kind = BatchEvent::Kind::progress;
    e.phase = text("phase");
    e.done = o.value(QLatin1String("done")).toInt();
    e.total = o.value(QLatin1String("total")).toInt();
    if (e.done < 0 || e.total < 0 || e.done > e.total) {
      return Refuse(QStringLiteral("progress out of range"));
    }
  } else if (name == QLatin1String("message")) {
    if (!HasNumber(o, "id")) return Refuse(QStringLiteral("message without id"));
    e.kind = BatchEvent::Kind::message;
    e.text_id = o.value(QLatin1String("id")).toInt();
    e.text = text("text");
  } else if (name == QLatin1String("identity")) {
    e.kind = BatchEvent::Kind::identity;
    e.text = text("hex");
  } else if (name == QLatin1String("end")) {
    static const std::pair<const char*, BatchEvent::Result> kResults[] = {
        {"completed", BatchEvent::Result::completed},
        {"stopped", BatchEvent::Result::stopped},
        {"failed", BatchEvent::Result::failed},
    };
    const QString result = text("result");
    const auto known =
        std::find_if(std::begin(kResults), std::end(kResults),
                     [&result](const auto& r) { return result == QLatin1String(r.first); });
    if (known == std::end(kResults)) return Refuse(QStringLiteral("end without result"));
    e.kind = BatchEvent::Kind::end;
    e.result = known->second;
    e.exit_status = o.value(QLatin1String("exit_status")).toInt(-1);
  } else {
    return Refuse(QStringLiteral("unknown event"));
  }
  return {e, {}};
}

}  // namespace vexo::ui
