/* slow_mirror: a read-only FUSE mirror of a folder for the tests, standing in
 * for a network share or a card reader: every request is answered after a
 * fixed delay, and one name can be held up entirely, like a share that stops
 * answering.
 *
 *   slow_mirror SOURCE MOUNTPOINT DELAY_US CONTROL [HOLD]
 *
 * Reading a file named HOLD, or listing a folder named HOLD, blocks: the
 * mirror creates CONTROL/held and waits until CONTROL/release exists (or 20 s
 * have passed), then creates CONTROL/let-go and answers. Runs in the
 * foreground until unmounted. */
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
static long delay_us;

static void sleep_us(long us)
{
    struct timespec t = {us / 1000000, (us % 1000000) * 1000};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

static int exists_in_control(const char *name)
{
    char p[PATH_MAX];
    snprintf(p, sizeof p, "%s/%s", control, name);
    return access(p, F_OK) == 0;
}

static void touch_in_control(const char *name)
{
    char p[PATH_MAX];
    snprintf(p, sizeof p, "%s/%s", control, name);
    close(open(p, O_WRONLY | O_CREAT, 0600));
}

/* The delay of every request, and the hold of the held name. */
static void answer_late(const char *path)
{
    sleep_us(delay_us);
    const char *last = strrchr(path, '/');
    if (!hold || strcmp(last ? last + 1 : path, hold) != 0 || exists_in_control("release"))
        return;
    touch_in_control("held");
    for (int waited = 0; waited < 20000 && !exists_in_control("release"); waited += 5)
        sleep_us(5000);
    touch_in_control("let-go");
}

static void full(char *out, const char *path)
{
    snprintf(out, PATH_MAX, "%s%s", source, path);
}

static int mirror_getattr(const char *path, struct stat *st, struct fuse_file_info *fi)
{
    (void)fi;
    char p[PATH_MAX];
    full(p, path);
    sleep_us(delay_us);
    return lstat(p, st) == 0 ? 0 : -errno;
}

static int mirror_readlink(const char *path, char *buf, size_t size)
{
    char p[PATH_MAX];
    full(p, path);
    sleep_us(delay_us);
    ssize_t n = readlink(p, buf, size - 1);
    if (n < 0)
        return -errno;
    buf[n] = 0;
    return 0;
}

static int mirror_readdir(const char *path, void *buf, fuse_fill_dir_t fill, off_t off, struct fuse_file_info *fi,
                          enum fuse_readdir_flags flags)
{
    (void)off;
    (void)fi;
    (void)flags;
    char p[PATH_MAX];
    full(p, path);
    answer_late(path);
    DIR *d = opendir(p);
    if (!d)
        return -errno;
    struct dirent *e;
    while ((e = readdir(d)) != NULL) {
        struct stat st;
        memset(&st, 0, sizeof st);
        st.st_ino = e->d_ino;
        st.st_mode = (mode_t)DTTOIF(e->d_type);
        if (fill(buf, e->d_name, &st, 0, 0))
            break;
    }
    closedir(d);
    return 0;
}

static int mirror_open(const char *path, struct fuse_file_info *fi)
{
    if ((fi->flags & O_ACCMODE) != O_RDONLY)
        return -EROFS;
    char p[PATH_MAX];
    full(p, path);
    sleep_us(delay_us);
    int fd = open(p, fi->flags);
    if (fd < 0)
        return -errno;
    fi->fh = (uint64_t)fd;
    return 0;
}

static int mirror_read(const char *path, char *buf, size_t size, off_t off, struct fuse_file_info *fi)
{
    answer_late(path);
    ssize_t n = pread((int)fi->fh, buf, size, off);
    return n < 0 ? -errno : (int)n;
}

static int mirror_release(const char *path, struct fuse_file_info *fi)
{
    (void)path;
    close((int)fi->fh);
    return 0;
}

static void *mirror_init(struct fuse_conn_info *conn, struct fuse_config *cfg)
{
    (void)conn;
    cfg->use_ino = 1;
    return NULL;
}

static const struct fuse_operations ops = {
    .getattr = mirror_getattr,
    .readlink = mirror_readlink,
    .readdir = mirror_readdir,
    .open = mirror_open,
    .read = mirror_read,
    .release = mirror_release,
    .init = mirror_init,
};

int main(int argc, char **argv)
{
    if (argc < 5) {
        fprintf(stderr, "usage: %s SOURCE MOUNTPOINT DELAY_US CONTROL [HOLD]\n", argv[0]);
        return 2;
    }
    if (!realpath(argv[1], source) || !realpath(argv[4], control)) {
        perror("realpath");
        return 2;
    }
    delay_us = atol(argv[3]);
    hold = argc > 5 ? argv[5] : NULL;
    char *fargv[] = {argv[0], argv[2], "-f", "-o", "ro,max_threads=64", NULL};
    return fuse_main(5, fargv, &ops, NULL);
}
