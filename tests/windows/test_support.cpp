// shared helpers of the in-process Windows tests
