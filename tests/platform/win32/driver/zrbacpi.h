/* The control codes of the test firmware driver: the four the program sends, and the ones only
 * the tests use to set it up and read it back. */
#pragma once

#define ZRB_CTL(function) ((0x22u << 16) | ((function) << 2))

#define ZRB_IOCTL_REGISTER_EVENT ZRB_CTL(0x900u)
#define ZRB_IOCTL_CALL_METHOD ZRB_CTL(0x901u)
#define ZRB_IOCTL_GET_NOTIFY_CODE ZRB_CTL(0x902u)
#define ZRB_IOCTL_INIT ZRB_CTL(0x903u)

/* In: 4 bytes, the number "MBID" answers from now on. */
#define ZRB_IOCTL_TEST_SET_MODEL ZRB_CTL(0x920u)
/* In: notify codes to queue, 4 bytes each, at most ZRB_PENDING_MAX; "MORV EVENT" is set once for
 * them all, and again by each read that leaves some behind. */
#define ZRB_IOCTL_TEST_NOTIFY ZRB_CTL(0x921u)
/* Out: 4 bytes, how many methods were called in all, then the names of the last ones (at most
 * ZRB_METHOD_LOG of them), 4 bytes each, oldest first. */
#define ZRB_IOCTL_TEST_METHODS ZRB_CTL(0x922u)
/* Out: 4 bytes, 1 while a "MORV EVENT" is open to be set. */
#define ZRB_IOCTL_TEST_LISTENING ZRB_CTL(0x923u)

#define ZRB_METHOD_LOG 64u
#define ZRB_PENDING_MAX 64u
