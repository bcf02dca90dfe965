#pragma once

#include <string>

namespace skarvel {

/// One monitor per program folder: a lock on `skarvel.lock` there, which the system lets go of
/// when the process ends, however it ends, so a crash leaves nothing stale behind.
class FolderLock {
  public:
    /// `folder` ends in the separator. A folder where no lock file can be made is not locked;
    /// its files fail as they would anyway.
    explicit FolderLock(const std::string& folder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    /// False when another process holds the folder.
    bool held() const { return holder_ == 0; }
    /// What a second monitor says before it ends.
    std::string refusal() const;

  private:
    std::string folder_;
    int fd_ = -1;
    /// The process that holds the folder, -1 when unknown, 0 when it is ours.
    long holder_ = 0;
};

}  // namespace skarvel
