echo hello from the sample disc
