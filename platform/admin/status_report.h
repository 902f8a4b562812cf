// The two forms of what tarne-admin status found (directory/status_record.h): lines for the
// operator and one JSON object for monitoring.
#ifndef TARNE_ADMIN_STATUS_REPORT_H
#define TARNE_ADMIN_STATUS_REPORT_H

#include <cstdio>

#include "directory/status_record.h"

namespace olva::admin {

using dir::AlarmReport;
using dir::FileReport;
using dir::Health;
using dir::MemberReport;
using dir::StatusReport;

void PrintStatusText(const StatusReport &report, std::FILE *stream);
void PrintStatusJson(const StatusReport &report, std::FILE *stream);

}  // namespace olva::admin

#endif  // TARNE_ADMIN_STATUS_REPORT_H
