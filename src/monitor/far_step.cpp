#include "monitor/far_step.h"

#include "monitor/build_time.h"
#include "monitor/number_text.h"

int64_t g_buildTime = kBuildTime;

bool MayTakeStep(int64_t seconds, int64_t clock, int64_t buildTime) {
  return (seconds >= -kFarStepSeconds && seconds <= kFarStepSeconds) || clock < buildTime;
}

std::string FarStepMessage(int64_t seconds) {
  const int64_t hours = seconds / 3600;
  return "Step Of " + DecimalText(hours) + " Hours Not Taken";
}
