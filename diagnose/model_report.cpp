// The names of verdicts and healths, and a model's health.
#include "model_report.hpp"

#include "text.hpp"

namespace md3 {

std::string name_of(const std::uint8_t* field) { return std::string(field_text(field, kNameSize)); }

const char* verdict_name(Verdict verdict) {
    switch (verdict) {
        case Verdict::clean: return "clean";
        case Verdict::repairable: return "repairable";
        case Verdict::refused: return "refused";
        case Verdict::invalid: return "invalid";
        case Verdict::unreadable: return "unreadable";
    }
    return "unknown";
}

const char* health_name(Health health) {
    switch (health) {
        case Health::ok: return "ok";
        case Health::warnings: return "warnings";
        case Health::errors: return "errors";
        case Health::invalid: return "invalid";
        case Health::unreadable: return "unreadable";
    }
    return "unknown";
}

Health health_of(const ModelReport& report) {
    if (report.verdict == Verdict::invalid) return Health::invalid;
    if (report.verdict == Verdict::unreadable) return Health::unreadable;
    Health health = Health::ok;
    for (const Problem& p : report.problems) {
        if (p.severity == Severity::error) return Health::errors;
        health = Health::warnings;
    }
    return health;
}

}  // namespace md3
