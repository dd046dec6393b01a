# Defaults of orvo-server that its manual pages state and that no other file of ours holds:
# keep them in step with the server's own (orvo-server --help).
set(ORVO_DEFAULT_MAX_CLIENTS 500)
set(ORVO_DEFAULT_KNOCK 60)
set(ORVO_DEFAULT_KNOCK_TIMEOUT 60)
set(ORVO_DEFAULT_CACHE_SIZE 64)
set(ORVO_DEFAULT_MMAP_SIZE 1024)
