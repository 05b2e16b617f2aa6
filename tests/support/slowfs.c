/* slowfs: a read-only FUSE mirror of a folder that answers every request after a fixed delay,
 * the way a network share or a memory card in a USB reader does. Requests are served on many
 * threads, so a client that keeps several requests in flight sees the delay overlap.
 *
 *   gcc -O2 -o slowfs slowfs.c $(pkg-config --cflags --libs fuse3)     (Debian: libfuse3-dev fuse3)
 *   slowfs SOURCE MOUNTPOINT [LATENCY_US [CONTROL [HOLD]]]
 *                                                  (default 1000 µs; unmount with fusermount3 -u)
 *
 * With SLOWFS_FOREGROUND set it stays in the foreground, so that a test can end it (killing it
 * makes every request that waits on it fail at once, as a share that went away).
 *
 * One name can be held up entirely, like a share that stops answering: reading a file named
 * HOLD, or listing a folder named HOLD, creates CONTROL/held and waits until CONTROL/release
 * exists (or 20 s have passed), then creates CONTROL/let-go and answers.
 *
 * Names can fail as a damaged disk or share fails them: a file or folder whose name begins with
 * "eio-" answers reading and listing with EIO; one whose name begins with "eio-stat-" answers every
 * attribute look-up with EIO too, and is listed without its kind, so that a client must ask.
 *
 * The whole share can stop answering too, like a server that went away without a word: while
 * CONTROL/freeze exists every request waits (until it is removed or the server is killed).
 *
 * The kernel caches attributes, names and pages as it would for a share (timeouts of 0 turn that
 * off); each cold open, directory read, attribute look-up and read pays the delay once. */
#define FUSE_USE_VERSION 31
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static char source[PATH_MAX];
static char control[PATH_MAX];
static const char *hold;
static long latency_us = 1000;

static void sleep_us(long us)
{
    struct timespec t = {us / 1000000, (us % 1000000) * 1000};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

static int exists_in_control(const char *name);

static void pause_once(void)
{
    sleep_us(latency_us);
    while (control[0] && exists_in_control("freeze"))
        sleep_us(5000);
}

static int exists_in_control(const char *name)
{
    char p[PATH_MAX];
    if (snprintf(p, sizeof p, "%s/%s", control, name) >= (int)sizeof p)
        return 0;
    return access(p, F_OK) == 0;
}

static void touch_in_control(const char *name)
{
    char p[PATH_MAX];
    if (snprintf(p, sizeof p, "%s/%s", control, name) >= (int)sizeof p)
        return;
    close(open(p, O_WRONLY | O_CREAT, 0600));
}

/* The delay of a listing or a read, and the hold of the held name. */
static void answer_late(const char *path)
{
    pause_once();
    const char *last = strrchr(path, '/');
    if (!hold || strcmp(last ? last + 1 : path, hold) != 0 || exists_in_control("release"))
        return;
    touch_in_control("held");
    for (int waited = 0; waited < 20000 && !exists_in_control("release"); waited += 5)
        sleep_us(5000);
    touch_in_control("let-go");
}

static const char *last_name(const char *path)
{
    const char *last = strrchr(path, '/');
    return last ? last + 1 : path;
}

static int fails_reading(const char *path)
{
    return strncmp(last_name(path), "eio-", 4) == 0;
}

static int fails_stat(const char *name)
{
    return strncmp(name, "eio-stat-", 9) == 0;
}

static void full(char *out, const char *path)
{
    snprintf(out, PATH_MAX, "%s%s", source, path);
}

static int sf_getattr(const char *path, struct stat *st, struct fuse_file_info *fi)
{
    (void)fi;
    char p[PATH_MAX];
    full(p, path);
    pause_once();
    if (fails_stat(last_name(path)))
        return -EIO;
    return lstat(p, st) == 0 ? 0 : -errno;
}

static int sf_readlink(const char *path, char *buf, size_t size)
{
    char p[PATH_MAX];
    full(p, path);
    pause_once();
    ssize_t n = readlink(p, buf, size - 1);
    if (n < 0)
        return -errno;
    buf[n] = 0;
    return 0;
}

static int sf_readdir(const char *path, void *buf, fuse_fill_dir_t fill, off_t off, struct fuse_file_info *fi,
                      enum fuse_readdir_flags flags)
{
    (void)off;
    (void)fi;
    (void)flags;
    char p[PATH_MAX];
    full(p, path);
    answer_late(path);
    if (fails_reading(path))
        return -EIO;
    DIR *d = opendir(p);
    if (!d)
        return -errno;
    struct dirent *e;
    while ((e = readdir(d)) != NULL) {
        struct stat st;
        memset(&st, 0, sizeof st);
        st.st_ino = e->d_ino;
        st.st_mode = fails_stat(e->d_name) ? 0 : (mode_t)DTTOIF(e->d_type);
        if (fill(buf, e->d_name, &st, 0, 0))
            break;
    }
    closedir(d);
    return 0;
}

static int sf_open(const char *path, struct fuse_file_info *fi)
{
    if ((fi->flags & O_ACCMODE) != O_RDONLY)
        return -EROFS;
    char p[PATH_MAX];
    full(p, path);
    pause_once();
    int fd = open(p, fi->flags);
    if (fd < 0)
        return -errno;
    fi->fh = (uint64_t)fd;
    fi->keep_cache = 1;
    return 0;
}

static int sf_read(const char *path, char *buf, size_t size, off_t off, struct fuse_file_info *fi)
{
    answer_late(path);
    if (fails_reading(path))
        return -EIO;
    ssize_t n = pread((int)fi->fh, buf, size, off);
    return n < 0 ? -errno : (int)n;
}

static int sf_release(const char *path, struct fuse_file_info *fi)
{
    (void)path;
    close((int)fi->fh);
    return 0;
}

static void *sf_init(struct fuse_conn_info *conn, struct fuse_config *cfg)
{
    (void)conn;
    cfg->use_ino = 1;
    cfg->entry_timeout = cfg->attr_timeout = 60;
    cfg->kernel_cache = 1;
    return NULL;
}

static const struct fuse_operations ops = {
    .getattr = sf_getattr,
    .readlink = sf_readlink,
    .readdir = sf_readdir,
    .open = sf_open,
    .read = sf_read,
    .release = sf_release,
    .init = sf_init,
};

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: %s SOURCE MOUNTPOINT [LATENCY_US [CONTROL [HOLD]]]\n", argv[0]);
        return 2;
    }
    if (!realpath(argv[1], source)) {
        perror(argv[1]);
        return 2;
    }
    if (argc > 3)
        latency_us = atol(argv[3]);
    if (argc > 4 && !realpath(argv[4], control)) {
        perror(argv[4]);
        return 2;
    }
    hold = argc > 5 ? argv[5] : NULL;
    /* -o max_threads raises libfuse's pool so that parallel requests really overlap. */
    char *fargv[] = {argv[0], argv[2], "-o", "ro,max_threads=64", NULL, NULL};
    int fargc = 4;
    if (getenv("SLOWFS_DEBUG"))
        fargv[fargc++] = "-d";
    else if (getenv("SLOWFS_FOREGROUND"))
        fargv[fargc++] = "-f";
    return fuse_main(fargc, fargv, &ops, NULL);
}
