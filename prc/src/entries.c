/* Records and resources: making, filling, appending, finding and taking out entries, and
 * the position index that makes lookups by index and removal at either end constant time. */
#include <stdlib.h>
#include <string.h>

#include "prc_internal.h"

void prc_index_reset(prc_index *index) {
    free(index->items);
    memset(index, 0, sizeof *index);
}

/* Takes over an array of the list's entries in order (the open builds one anyway). */
int prc_index_adopt_list(prc_handle *h, prc_record_t **items, uint32_t count) {
    prc_index_reset(&h->index);
    h->index.items = items;
    h->index.count = count;
    h->index.capacity = count ? count : 1;
    h->index.head = h->pub.records;
    h->index.valid = 1;
    return 0;
}

static int index_matches_list(const prc_handle *h) {
    return h->index.valid && h->index.head == h->pub.records && h->index.count == h->pub.nrecords;
}

/* Room for one more item at the end, moving the live window to the front when needed. */
static int index_reserve_one(prc_index *index) {
    if (index->first + index->count < index->capacity) {
        return 0;
    }
    if (index->first > 0) {
        memmove(index->items, index->items + index->first, index->count * sizeof *index->items);
        index->first = 0;
        return 0;
    }
    uint32_t capacity = index->capacity ? index->capacity * 2 : 64;
    prc_record_t **items = realloc(index->items, capacity * sizeof *items);
    if (items == NULL) {
        return -1;
    }
    index->items = items;
    index->capacity = capacity;
    return 0;
}

/* Rebuilds the index from the list when the list changed behind its back. */
static int index_refresh(prc_handle *h) {
    if (index_matches_list(h)) {
        return 0;
    }
    prc_index_reset(&h->index);
    for (prc_record_t *e = h->pub.records; e != NULL; e = e->next) {
        if (index_reserve_one(&h->index) != 0) {
            prc_index_reset(&h->index);
            return -1;
        }
        h->index.items[h->index.count++] = e;
    }
    h->index.head = h->pub.records;
    h->index.valid = h->index.count == h->pub.nrecords;
    return h->index.valid ? 0 : -1;
}

static prc_record_t *walk_to(prc_record_t *e, uint32_t position) {
    while (e != NULL && position-- > 0) {
        e = e->next;
    }
    return e;
}

prc_record_t *prcnewrecord(void) {
    prc_clear_error();
    prc_record_t *entry = calloc(1, sizeof *entry);
    if (entry == NULL) {
        prc_set_error(PRC_ENOMEM);
    }
    return entry;
}

/* One function under both names. */
prc_record_t *prcnewresource(void) __attribute__((alias("prcnewrecord")));

int prcrecordset(prc_record_t *rec, const void *data, uint32_t size) {
    prc_clear_error();
    if (rec == NULL) {
        prc_set_error(PRC_EBADARG);
        return -1;
    }
    return prc_replace_bytes(&rec->data, &rec->datalen, data, size);
}

int prcresourceset(prc_record_t *res, uint32_t type, uint16_t id, const void *data, uint32_t size) {
    if (prcrecordset(res, data, size) != 0) {
        return -1;
    }
    res->type = type;
    res->id = id;
    return 0;
}

prc_record_t *prc_append_entry(prc_t *prc, prc_record_t *entry) {
    prc_handle *h = prc_handle_of(prc);
    if (prc->nrecords >= PRC_ENTRY_LIMIT) {
        prc_set_error(PRC_EBADARG);
        return NULL;
    }
    entry->next = NULL;
    if (index_refresh(h) == 0 && index_reserve_one(&h->index) == 0) {
        prc_index *index = &h->index;
        prc_record_t *last = index->count ? index->items[index->first + index->count - 1] : NULL;
        if (last != NULL) {
            last->next = entry;
        } else {
            prc->records = entry;
        }
        index->items[index->first + index->count++] = entry;
        index->head = prc->records;
    } else {
        prc_index_reset(&h->index);
        prc_record_t **link = &prc->records;
        while (*link != NULL) {
            link = &(*link)->next;
        }
        *link = entry;
    }
    prc->nrecords++;
    return entry;
}

prc_record_t *prcappendrecord(prc_t *prc, prc_record_t *rec) {
    prc_clear_error();
    if (prc == NULL || rec == NULL) {
        prc_set_error(PRC_EBADARG);
        return NULL;
    }
    return prc_append_entry(prc, rec);
}

prc_record_t *prcappendresource(prc_t *prc, prc_record_t *res) {
    return prcappendrecord(prc, res);
}

prc_record_t *prcgetrecord(prc_t *prc, uint16_t index) {
    prc_clear_error();
    if (prc == NULL) {
        return NULL;
    }
    prc_handle *h = prc_handle_of(prc);
    if (index_refresh(h) != 0) {
        return walk_to(prc->records, index);
    }
    return index < h->index.count ? h->index.items[h->index.first + index] : NULL;
}

prc_record_t *prcgetresource(prc_t *prc, uint32_t type, uint16_t id) {
    prc_clear_error();
    if (prc == NULL) {
        return NULL;
    }
    for (prc_record_t *e = prc->records; e != NULL; e = e->next) {
        if (e->type == type && e->id == id) {
            return e;
        }
    }
    return NULL;
}

prc_record_t *prcgetnextrecord(prc_t *prc, prc_record_t *rec) {
    prc_clear_error();
    if (prc == NULL) {
        return NULL;
    }
    return rec == NULL ? prc->records : rec->next;
}

prc_record_t *prcgetnextresource(prc_t *prc, prc_record_t *res) {
    return prcgetnextrecord(prc, res);
}

/* Position of an entry in the index: the two ends first, where the builder removes. */
static int index_position_of(const prc_index *index, const prc_record_t *entry, uint32_t *pos) {
    prc_record_t *const *items = index->items + index->first;
    if (index->count == 0) {
        return -1;
    }
    if (items[index->count - 1] == entry) {
        *pos = index->count - 1;
        return 0;
    }
    for (uint32_t i = 0; i + 1 < index->count; i++) {
        if (items[i] == entry) {
            *pos = i;
            return 0;
        }
    }
    return -1;
}

static prc_record_t *unlink_indexed(prc_t *prc, prc_record_t *entry) {
    prc_index *index = &prc_handle_of(prc)->index;
    uint32_t pos;
    if (index_position_of(index, entry, &pos) != 0) {
        return NULL;
    }
    if (pos == 0) {
        prc->records = entry->next;
        index->first++;
    } else {
        index->items[index->first + pos - 1]->next = entry->next;
        memmove(index->items + index->first + pos, index->items + index->first + pos + 1,
                (index->count - pos - 1) * sizeof *index->items);
    }
    index->count--;
    index->head = prc->records;
    return entry;
}

static prc_record_t *unlink_by_walking(prc_t *prc, prc_record_t *entry) {
    for (prc_record_t **link = &prc->records; *link != NULL; link = &(*link)->next) {
        if (*link == entry) {
            *link = entry->next;
            return entry;
        }
    }
    return NULL;
}

prc_record_t *prcremoverecord(prc_t *prc, prc_record_t *rec) {
    prc_clear_error();
    if (prc == NULL || rec == NULL) {
        return NULL;
    }
    prc_handle *h = prc_handle_of(prc);
    prc_record_t *removed =
        index_refresh(h) == 0 ? unlink_indexed(prc, rec) : unlink_by_walking(prc, rec);
    if (removed == NULL) {
        return NULL;
    }
    removed->next = NULL;
    prc->nrecords--;
    return removed;
}

prc_record_t *prcremoveresource(prc_t *prc, prc_record_t *res) {
    return prcremoverecord(prc, res);
}

int prcdestroyrecord(prc_record_t *rec) {
    prc_clear_error();
    if (rec != NULL) {
        free(rec->data);
        free(rec);
    }
    return 0;
}

int prcdestroyresource(prc_record_t *res) {
    return prcdestroyrecord(res);
}

void prc_free_entries(prc_record_t *head) {
    while (head != NULL) {
        prc_record_t *next = head->next;
        free(head->data);
        free(head);
        head = next;
    }
}

int prcmaprecords(prc_t *prc, prc_map_fn fn, void *arg) {
    prc_clear_error();
    if (prc == NULL || fn == NULL) {
        prc_set_error(PRC_EBADARG);
        return -1;
    }
    for (prc_record_t *e = prc->records; e != NULL; e = e->next) {
        int result = fn(e, arg);
        if (result != 0) {
            return result;
        }
    }
    return 0;
}

int prcmapresources(prc_t *prc, prc_map_fn fn, void *arg) {
    return prcmaprecords(prc, fn, arg);
}
