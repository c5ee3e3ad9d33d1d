/* Palm time (seconds since 1904-01-01 local time) from the clock and to and from the
 * "CCYYMMDDhhmm" text form, in the host's local time zone. */
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "prc_internal.h"

#define PALM_TIME_ERROR 0xFFFFFFFFu
#define ZERO_TIME_TEXT "190401010000"

uint32_t prc_now(void) {
    time_t now = time(NULL);
    if (now == (time_t)-1) {
        return PALM_TIME_ERROR;
    }
    return (uint32_t)((int64_t)now + PRC_PALM_EPOCH_OFFSET);
}

uint32_t prctime(uint32_t *out) {
    prc_clear_error();
    uint32_t now = prc_now();
    if (now != PALM_TIME_ERROR && out != NULL) {
        *out = now;
    }
    return now;
}

char *prctimetostr(char *buffer, uint32_t palm_time) {
    prc_clear_error();
    if (buffer == NULL) {
        prc_set_error(PRC_EBADARG);
        return NULL;
    }
    if (palm_time == 0) {
        memcpy(buffer, ZERO_TIME_TEXT, sizeof ZERO_TIME_TEXT);
        return buffer;
    }
    time_t host = (time_t)((int64_t)palm_time - PRC_PALM_EPOCH_OFFSET);
    struct tm local;
    char text[32];
    if (localtime_r(&host, &local) == NULL ||
        snprintf(text, sizeof text, "%04d%02d%02d%02d%02d", local.tm_year + 1900, local.tm_mon + 1,
                 local.tm_mday, local.tm_hour, local.tm_min) != 12) {
        memcpy(buffer, "error", sizeof "error");
        return buffer;
    }
    memcpy(buffer, text, 13);
    return buffer;
}

/* A group counts 0 unless it starts with a digit; a digit and a non-digit count the digit. */
static int two_digit_group(const char *g) {
    if (g[0] < '0' || g[0] > '9') {
        return 0;
    }
    if (g[1] < '0' || g[1] > '9') {
        return g[0] - '0';
    }
    return (g[0] - '0') * 10 + (g[1] - '0');
}

static int current_local_year(int *year) {
    time_t now = time(NULL);
    struct tm local;
    if (now == (time_t)-1 || localtime_r(&now, &local) == NULL) {
        return -1;
    }
    *year = local.tm_year + 1900;
    return 0;
}

uint32_t prcstrtotime(const char *text) {
    prc_clear_error();
    if (text == NULL) {
        return PALM_TIME_ERROR;
    }
    if (strcmp(text, "now") == 0) {
        return prc_now();
    }
    if (strcmp(text, "never") == 0) {
        return 0;
    }
    size_t len = strlen(text);
    if (len != 12 && len != 10 && len != 8) {
        return PALM_TIME_ERROR;
    }
    int year;
    if (current_local_year(&year) != 0) {
        return PALM_TIME_ERROR;
    }
    int century = year / 100;
    year %= 100;
    const char *g = text;
    if (len == 12) {
        century = two_digit_group(g);
        g += 2;
    }
    if (len >= 10) {
        year = two_digit_group(g);
        g += 2;
    }
    struct tm local = {0};
    local.tm_year = century * 100 + year - 1900;
    local.tm_mon = two_digit_group(g) - 1;
    local.tm_mday = two_digit_group(g + 2);
    local.tm_hour = two_digit_group(g + 4);
    local.tm_min = two_digit_group(g + 6);
    local.tm_sec = 0;
    local.tm_isdst = -1;
    time_t host = mktime(&local);
    if (host == (time_t)-1) {
        return PALM_TIME_ERROR;
    }
    int64_t palm = (int64_t)host + PRC_PALM_EPOCH_OFFSET;
    if (palm < 0 || palm >= (int64_t)PALM_TIME_ERROR) {
        return PALM_TIME_ERROR;
    }
    return (uint32_t)palm;
}
