#include "desktop/history/run_words.h"

#include <nlohmann/json.hpp>

#include <QObject>
#include <QStringList>

#include "core/endpoint.h"
#include "core/float_text.h"

namespace ormid {

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// One step of a setting's path: a name, or a name with an index ("pad[0]").
QString StepInWords(const std::string& step) {
  struct Name {
    const char* key;
    const char* words;
  };
  static const Name kNames[] = {
      {"endpoint", QT_TRANSLATE_NOOP("RunWords", "Endpoint")},
      {"noel_mg_per_kg_bw_day", QT_TRANSLATE_NOOP("RunWords", "NOEL (mg/kg bw/day)")},
      {"rfd_mg_per_kg_bw_day", QT_TRANSLATE_NOOP("RunWords", "RfD (mg/kg bw/day)")},
      {"qstar_per_mg_per_kg_bw_day", QT_TRANSLATE_NOOP("RunWords", "Q* (per mg/kg bw/day)")},
      {"pad", QT_TRANSLATE_NOOP("RunWords", "PAD")},
      {"pad_mg_per_kg_bw_day", QT_TRANSLATE_NOOP("RunWords", "PAD (mg/kg bw/day)")},
      {"comment", QT_TRANSLATE_NOOP("RunWords", "Run comment")},
      {"excluded", QT_TRANSLATE_NOOP("RunWords", "Left out")},
      {"critical_food_percent", QT_TRANSLATE_NOOP("RunWords", "Critical food (%)")},
      {"critical_crop_group_percent", QT_TRANSLATE_NOOP("RunWords", "Critical crop group (%)")},
      {"target_percent_of_index_pad", QT_TRANSLATE_NOOP("RunWords", "Target (% of cPAD)")},
  };
  std::string name = step;
  QString index;
  if (const auto open = step.find('['); open != std::string::npos && step.back() == ']') {
    name = step.substr(0, open);
    bool ok = false;
    const int at = Q(step.substr(open + 1, step.size() - open - 2)).toInt(&ok);
    index = ok ? QString::number(at + 1) : Q(step.substr(open));
  }
  QString words;
  for (const Name& n : kNames)
    if (name == n.key) words = QObject::tr(n.words);
  if (words.isEmpty()) {
    words = Q(name).replace('_', ' ');
    if (!words.isEmpty()) words[0] = words[0].toUpper();
  }
  return index.isEmpty() ? words : words + ' ' + index;
}

}  // namespace

QString EndpointName(const std::string& code) {
  const auto endpoint = EndpointFromCode(code);
  if (!endpoint) return Q(code);
  QString words;
  switch (*endpoint) {
    case Endpoint::Noel:
      words = QObject::tr("NOEL");
      break;
    case Endpoint::RfD:
      words = QObject::tr("RfD");
      break;
    case Endpoint::Pad:
      words = QObject::tr("PAD");
      break;
    case Endpoint::NoelRfD:
      words = QObject::tr("NOEL and RfD");
      break;
    case Endpoint::NoelPad:
      words = QObject::tr("NOEL and PAD");
      break;
    case Endpoint::QStar:
      words = QObject::tr("Q*");
      break;
    case Endpoint::None:
      return Q(code);
  }
  return words;
}

QString DateText(const std::string& recorded) {
  // "2026-12-05T14:03:09": the date and the time with a blank between.
  QString text = Q(recorded);
  if (text.size() > 10 && text[10] == 'T') text[10] = ' ';
  return text;
}

namespace {

QString EndpointInWords(const std::string& code) {
  const QString words = EndpointName(code);
  return words == Q(code) ? words : words + " (" + Q(code) + ")";
}

}  // namespace

QString CommandInWords(const std::string& command) {
  if (command == "longterm") return QObject::tr("Long-term analysis");
  if (command == "commodity") return QObject::tr("Commodity contribution analysis");
  if (command == "cumulative") return QObject::tr("Cumulative assessment");
  if (command == "residue-build") return QObject::tr("Residue file built from samples");
  return Q(command);
}

QString SettingInWords(const std::string& path) {
  std::string rest = path;
  if (rest.rfind("settings.", 0) == 0) rest = rest.substr(9);
  QStringList steps;
  std::size_t at = 0;
  while (at <= rest.size()) {
    const std::size_t dot = rest.find('.', at);
    const std::size_t end = dot == std::string::npos ? rest.size() : dot;
    if (end > at) steps << StepInWords(rest.substr(at, end - at));
    if (dot == std::string::npos) break;
    at = dot + 1;
  }
  return steps.join(", ");
}

QString SettingValueInWords(const std::string& path, const nlohmann::json& value) {
  if (value.is_null()) return QObject::tr("none");
  if (value.is_boolean()) return value.get<bool>() ? QObject::tr("yes") : QObject::tr("no");
  if (value.is_number_integer()) return Q(value.dump());
  if (value.is_number()) return QString::fromStdString(TableText(value.get<double>()));
  if (value.is_string()) {
    const std::string text = value.get<std::string>();
    const bool endpoint = path == "endpoint" || path == "settings.endpoint";
    return endpoint ? EndpointInWords(text) : Q(text);
  }
  if (value.is_array()) {
    QStringList items;
    for (const nlohmann::json& item : value) items << SettingValueInWords({}, item);
    return items.isEmpty() ? QObject::tr("none") : items.join(", ");
  }
  if (value.is_object()) {
    QStringList items;
    for (const auto& [key, item] : value.items())
      items << StepInWords(key) + " = " + SettingValueInWords(key, item);
    return items.join(", ");
  }
  return Q(value.dump());
}

QString SettingTextInWords(const std::string& path, const std::string& jsonText) {
  if (jsonText.empty()) return QObject::tr("(none)");
  const nlohmann::json value = nlohmann::json::parse(jsonText, nullptr, false);
  if (value.is_discarded()) return Q(jsonText);
  return SettingValueInWords(path, value);
}

}  // namespace ormid
