// Placeholder: the account file's format arrives with the user-file work.
