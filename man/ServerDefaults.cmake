# Defaults of orvo-server that its manual pages state and that no other file of ours holds:
# keep them in step with the server's own (orvo-server --help). MAX_CLIENTS is the server's
# value today; the other three await the server's new command line and must be checked then.
set(ORVO_DEFAULT_MAX_CLIENTS 32)
set(ORVO_DEFAULT_KNOCK_TIMEOUT 30)
set(ORVO_DEFAULT_CACHE_SIZE 16)
set(ORVO_DEFAULT_MMAP_SIZE 0)
