#include "interpose.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <semaphore.h>
#include <time.h>
#include <unistd.h>

// The C library's own entry points of its allocator: they never come back to ours.
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
}

namespace brakka_validate {
namespace {

thread_local int tWatched = 0;
std::atomic<long> gCounts[kNumWatchedKinds];

inline void note(WatchedKind kind) {
    if (tWatched > 0) gCounts[kind].fetch_add(1, std::memory_order_relaxed);
}

// The C library's functions behind ours, looked up once before main (a lookup inside a watched
// call could itself allocate).
template <typename F>
F next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

#define BRAKKA_NEXT(name) decltype(&::name) name = next<decltype(&::name)>(#name)
struct Next {
    BRAKKA_NEXT(pthread_mutex_lock);
    BRAKKA_NEXT(pthread_rwlock_rdlock);
    BRAKKA_NEXT(pthread_rwlock_wrlock);
    BRAKKA_NEXT(pthread_spin_lock);
    BRAKKA_NEXT(pthread_cond_wait);
    BRAKKA_NEXT(pthread_cond_timedwait);
    BRAKKA_NEXT(pthread_join);
    BRAKKA_NEXT(sem_wait);
    BRAKKA_NEXT(sem_timedwait);
    BRAKKA_NEXT(nanosleep);
    BRAKKA_NEXT(clock_nanosleep);
    BRAKKA_NEXT(usleep);
    BRAKKA_NEXT(sleep);
    BRAKKA_NEXT(open);
    BRAKKA_NEXT(open64);
    BRAKKA_NEXT(openat);
    BRAKKA_NEXT(creat);
    BRAKKA_NEXT(fopen);
    BRAKKA_NEXT(fopen64);
    BRAKKA_NEXT(read);
    BRAKKA_NEXT(write);
    BRAKKA_NEXT(close);
    BRAKKA_NEXT(fwrite);
    BRAKKA_NEXT(fread);
    BRAKKA_NEXT(fputs);
    BRAKKA_NEXT(puts);
    BRAKKA_NEXT(vfprintf);
    BRAKKA_NEXT(fflush);
};
#undef BRAKKA_NEXT

const Next& real() {
    static const Next n;
    return n;
}
// Resolved during static initialization, long before any watched call.
const Next& gResolved = real();

} // namespace

void watchBegin() {
    ++tWatched;
}
void watchEnd() {
    --tWatched;
}

WatchCounts watchCounts() {
    WatchCounts c;
    for (int k = 0; k < kNumWatchedKinds; ++k)
        c.calls[k] = gCounts[k].load();
    return c;
}

void resetWatchCounts() {
    for (auto& c : gCounts)
        c.store(0);
}

bool interposerActive() {
    return dlsym(RTLD_DEFAULT, "malloc") == reinterpret_cast<void*>(&::malloc) &&
           dlsym(RTLD_DEFAULT, "pthread_mutex_lock") ==
               reinterpret_cast<void*>(&::pthread_mutex_lock) &&
           gResolved.pthread_mutex_lock != nullptr;
}

} // namespace brakka_validate

using brakka_validate::kFile;
using brakka_validate::kHeap;
using brakka_validate::kLock;
using brakka_validate::kSleep;
using brakka_validate::note;
using brakka_validate::real;
using brakka_validate::tWatched;

// operator new and delete of the C++ library allocate through malloc and free, so these count
// them as well.
extern "C" {

void* malloc(size_t n) {
    note(kHeap);
    return __libc_malloc(n);
}
void* calloc(size_t n, size_t size) {
    note(kHeap);
    return __libc_calloc(n, size);
}
void* realloc(void* p, size_t n) {
    note(kHeap);
    return __libc_realloc(p, n);
}
void free(void* p) {
    if (p) note(kHeap);
    __libc_free(p);
}
void* memalign(size_t alignment, size_t n) {
    note(kHeap);
    return __libc_memalign(alignment, n);
}
void* aligned_alloc(size_t alignment, size_t n) {
    note(kHeap);
    return __libc_memalign(alignment, n);
}
int posix_memalign(void** p, size_t alignment, size_t n) {
    note(kHeap);
    if (alignment < sizeof(void*) || (alignment & (alignment - 1))) return EINVAL;
    *p = __libc_memalign(alignment, n);
    return *p || n == 0 ? 0 : ENOMEM;
}

// A recursive mutex the thread already holds is taken again without waiting.
int pthread_mutex_lock(pthread_mutex_t* m) {
    if (tWatched > 0 && m->__data.__owner != gettid()) note(kLock);
    return real().pthread_mutex_lock(m);
}
int pthread_rwlock_rdlock(pthread_rwlock_t* l) {
    note(kLock);
    return real().pthread_rwlock_rdlock(l);
}
int pthread_rwlock_wrlock(pthread_rwlock_t* l) {
    note(kLock);
    return real().pthread_rwlock_wrlock(l);
}
int pthread_spin_lock(pthread_spinlock_t* l) {
    note(kLock);
    return real().pthread_spin_lock(l);
}
int pthread_cond_wait(pthread_cond_t* c, pthread_mutex_t* m) {
    note(kLock);
    return real().pthread_cond_wait(c, m);
}
int pthread_cond_timedwait(pthread_cond_t* c, pthread_mutex_t* m, const struct timespec* t) {
    note(kLock);
    return real().pthread_cond_timedwait(c, m, t);
}
int pthread_join(pthread_t t, void** result) {
    note(kLock);
    return real().pthread_join(t, result);
}
int sem_wait(sem_t* s) {
    note(kLock);
    return real().sem_wait(s);
}
int sem_timedwait(sem_t* s, const struct timespec* t) {
    note(kLock);
    return real().sem_timedwait(s, t);
}

int nanosleep(const struct timespec* t, struct timespec* left) {
    note(kSleep);
    return real().nanosleep(t, left);
}
int clock_nanosleep(clockid_t clock, int flags, const struct timespec* t, struct timespec* left) {
    note(kSleep);
    return real().clock_nanosleep(clock, flags, t, left);
}
int usleep(useconds_t us) {
    note(kSleep);
    return real().usleep(us);
}
unsigned sleep(unsigned s) {
    note(kSleep);
    return real().sleep(s);
}

// open and its relatives take a mode only when they create a file.
int open(const char* path, int flags, ...) {
    note(kFile);
    va_list a;
    va_start(a, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(a, mode_t) : 0;
    va_end(a);
    return real().open(path, flags, mode);
}
int open64(const char* path, int flags, ...) {
    note(kFile);
    va_list a;
    va_start(a, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(a, mode_t) : 0;
    va_end(a);
    return real().open64(path, flags, mode);
}
int openat(int dir, const char* path, int flags, ...) {
    note(kFile);
    va_list a;
    va_start(a, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(a, mode_t) : 0;
    va_end(a);
    return real().openat(dir, path, flags, mode);
}
int creat(const char* path, mode_t mode) {
    note(kFile);
    return real().creat(path, mode);
}
FILE* fopen(const char* path, const char* mode) {
    note(kFile);
    return real().fopen(path, mode);
}
FILE* fopen64(const char* path, const char* mode) {
    note(kFile);
    return real().fopen64(path, mode);
}
ssize_t read(int fd, void* buffer, size_t n) {
    note(kFile);
    return real().read(fd, buffer, n);
}
ssize_t write(int fd, const void* buffer, size_t n) {
    note(kFile);
    return real().write(fd, buffer, n);
}
int close(int fd) {
    note(kFile);
    return real().close(fd);
}
size_t fwrite(const void* p, size_t size, size_t n, FILE* f) {
    note(kFile);
    return real().fwrite(p, size, n, f);
}
size_t fread(void* p, size_t size, size_t n, FILE* f) {
    note(kFile);
    return real().fread(p, size, n, f);
}
int fputs(const char* s, FILE* f) {
    note(kFile);
    return real().fputs(s, f);
}
int puts(const char* s) {
    note(kFile);
    return real().puts(s);
}
int fflush(FILE* f) {
    note(kFile);
    return real().fflush(f);
}
int vfprintf(FILE* f, const char* format, va_list a) {
    note(kFile);
    return real().vfprintf(f, format, a);
}
int vprintf(const char* format, va_list a) {
    note(kFile);
    return real().vfprintf(stdout, format, a);
}
int fprintf(FILE* f, const char* format, ...) {
    note(kFile);
    va_list a;
    va_start(a, format);
    const int n = real().vfprintf(f, format, a);
    va_end(a);
    return n;
}
int printf(const char* format, ...) {
    note(kFile);
    va_list a;
    va_start(a, format);
    const int n = real().vfprintf(stdout, format, a);
    va_end(a);
    return n;
}

} // extern "C"
