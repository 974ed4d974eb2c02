// The authoring tool's base for sinks of the package walk (package/PackageWalk.h):
// turns the walk's problems into the tool's one-line failures and looks for
// later volumes on disk instead of asking for them.
#pragma once

#include <string>

#include "pack/PackStatus.h"
#include "package/PackageWalk.h"

class ToolWalkSink : public PackageWalkSink {
 public:
  // `requireAllVolumes`: a missing later volume fails the walk (kPackage);
  // otherwise the walk ends there with a note.
  explicit ToolWalkSink(bool requireAllVolumes) : requireAllVolumes_(requireAllVolumes) {}

  VolumeAnswer NeedVolume(const std::string& path, int number) override;
  // Every problem is a failure; a listing passes over some (see Lister).
  bool OnProblem(const VolumeInfo& volume, const WalkDamage& damage) override;
  void OnAgentProgram(const VolumeInfo&, const std::string&) override {}

  // Walks the package; the first failure the sink recorded, or OK.
  PackStatus Walk(const std::string& firstVolume, const WalkOptions& options);

 protected:
  void Fail(ExitCode code, const std::string& message) {
    if (failure_.ok()) failure_ = PackStatus::Fail(code, message);
  }
  // The failure text of a problem, without the name of the entry concerned.
  static std::string ProblemText(const VolumeInfo& volume, const WalkDamage& damage);
  bool failed() const { return !failure_.ok(); }

 private:
  bool requireAllVolumes_;
  PackStatus failure_;
};
