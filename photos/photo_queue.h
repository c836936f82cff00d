// The order in which a photo codec's workers take the jobs of a run, the same for every codec
// (each brings its own threads and lock, and holds that lock around every call here). Jobs are
// begun in order, none more than `ahead` past the last one waited for.
#pragma once

#include <cstddef>
#include <cstdio>
#include <vector>

#include "photos/photo_codec.h"

struct PhotoQueue {
  KestrunePhotoJob* jobs = nullptr;
  std::size_t count = 0, ahead = 1;
  std::size_t next = 0;    // the next job to begin
  std::size_t waited = 0;  // jobs [0, waited) were waited for
  std::vector<char> done;  // per job: made or failed
  bool stopping = false;
};

inline void ResetQueue(PhotoQueue* queue, KestrunePhotoJob* jobs, std::size_t count,
                       std::size_t ahead) {
  *queue = PhotoQueue();
  queue->jobs = jobs;
  queue->count = count;
  queue->ahead = ahead < 1 ? 1 : ahead;
  queue->done.assign(count, 0);
}

// Whether a waiting worker has to wake: a job it may begin, or none ever again.
inline bool WorkerMayGo(const PhotoQueue& queue) {
  return queue.stopping || queue.next >= queue.count || queue.next < queue.waited + queue.ahead;
}

// Once WorkerMayGo: the job to begin in *index, or false when the worker is to end.
inline bool BeginNextJob(PhotoQueue* queue, std::size_t* index) {
  if (queue->stopping || queue->next >= queue->count) return false;
  *index = queue->next++;
  return true;
}

// The program waits for jobs[index]: later jobs may begin. Without a worker to make it, the
// job fails at once. False when there is no such job.
inline bool MarkWaited(PhotoQueue* queue, std::size_t index, bool workers) {
  if (index >= queue->count) return false;
  queue->waited = index + 1;
  if (!workers && !queue->done[index]) {
    std::snprintf(queue->jobs[index].failure, sizeof queue->jobs[index].failure, "%s",
                  "no thread can be started to make it");
    queue->done[index] = 1;
  }
  return true;
}
