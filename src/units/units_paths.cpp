// units_paths.cpp -- path points: the record, links, curves, event-script
// wrappers and temporary script files, and the path-point pool.

#include "units/units_paths.h"

namespace units {

PathPoint::PathPoint() {}
PathPoint::~PathPoint() {}

void ResetPathPoint(PathPoint&) {}
void DetachPathPoint(PathPoint&) {}
int SetPathPointOnCurve(PathPoint&, int) { return 0; }
PathPoint* SetNextPathPoint(PathPoint&, PathPoint*) { return nullptr; }
PathPoint* SetPrevPathPoint(PathPoint&, PathPoint*) { return nullptr; }
const char* SetPathPointLabel(PathPoint&, const char*) { return ""; }
const char* SetPathPointScript(PathPoint&, const char*) { return ""; }
void SetPathPointTrigger(PathPoint&, uint32_t, const char*, const char*) {}
const char* GetPathPointOperand(const PathPoint&, int) { return ""; }
void SetPathPointPosition(PathPoint&, float, float, float) {}
int CenterPathPointBetweenLinks(PathPoint&) { return 0; }
int CountLinksForward(const PathPoint&, const PathPoint*) { return -1; }
int CountLinksBackward(const PathPoint&, const PathPoint*) { return -1; }
Vec3 GetPathPosition(PathPoint&, float) { return {}; }
Vec3 GetPathDirection(PathPoint&) { return {}; }
float FindPathParameterByDistance(PathPoint&, float t, float) { return t; }
int FormatEventFunctionName(const PathPoint&, char*) { return 0; }
std::string EventFunctionName(const PathPoint&) { return {}; }
const char* WriteEventScriptFile(PathPoint&, const char*) { return nullptr; }
const char* FindEventScriptFile(PathPoint&, const char*, int, const int64_t*) { return nullptr; }
int IsEventScriptFileNewer(PathPoint&) { return 0; }
int ReloadEventScriptFile(PathPoint&) { return 0; }
int DeleteEventScriptFile(PathPoint&) { return 0; }
std::string BuildEventScriptFileName(const char*, const char*) { return {}; }

PathPointPool::PathPointPool() {}
PathPointPool::~PathPointPool() {}
PathPoint* NewPathPoint(PathPointPool&, int32_t, float, float, float) { return nullptr; }
int CountPathPoints(const PathPointPool&) { return 0; }
PathPoint* GetPathPointAt(const PathPointPool&, int) { return nullptr; }
int32_t GetPathPointHandle(const PathPoint*) { return -1; }
PathPoint* FindPathPointByHandle(const PathPointPool&, int32_t) { return nullptr; }
PathPoint* FindPathPointByLabel(const PathPointPool&, const char*) { return nullptr; }
PathPoint* FindPathPointById(const PathPointPool&, int32_t) { return nullptr; }
PathPoint* FindPathPointAt(const PathPointPool&, float, float, float) { return nullptr; }
void DetachAllPathPoints(PathPointPool&) {}
bool FindPathPointLabelForScript(void*, const char*, std::string*) { return false; }

}  // namespace units
