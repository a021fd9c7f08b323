-- Files.db as an installation ships it: the tables the program reads and the service fills.
-- The program itself creates only Images (imaging) and the File table of download catalogues.
CREATE TABLE File (FileID INTEGER Primary Key AUTOINCREMENT, Folder TEXT, FileName TEXT, Extension TEXT, Filesize INTEGER, DateCreated DATE, DateLastModified DATE, DateUploaded DATE, Uploaded BOOLEAN, Filtered BOOLEAN, CONSTRAINT [FileMatch] UNIQUE(Folder,FileName,Extension) ON CONFLICT Replace);
CREATE INDEX idx_Folder ON File (Folder);
CREATE INDEX idx_DateLastModified ON File (DateLastModified DESC);
CREATE INDEX idx_Extension ON File (Extension);
CREATE INDEX idx_Uploaded ON File (Uploaded);
CREATE INDEX idx_Filtered ON File (Filtered);

CREATE TABLE Folder (FolderID INTEGER PRIMARY KEY AUTOINCREMENT, Folders TEXT, Bu BOOLEAN, BuAll BOOLEAN);
CREATE INDEX idx_Folder_Folders ON Folder (Folders);

CREATE TABLE SFolder (SFolderID INTEGER PRIMARY KEY AUTOINCREMENT, Folders TEXT, Bu BOOLEAN, BuAll BOOLEAN);
CREATE INDEX idx_SFolder_Folders ON SFolder (Folders);

CREATE TABLE Exclude (ExcludeID INTEGER PRIMARY KEY AUTOINCREMENT, Folders TEXT);

CREATE TABLE Ext (ExtID INTEGER PRIMARY KEY AUTOINCREMENT, Extension TEXT, ExtName TEXT, ExtBu BOOLEAN, TotalFiles INTEGER, TotalSize INTEGER, TotalFilesNU INTEGER);

CREATE TABLE tempDFile (tempDFileID INTEGER PRIMARY KEY AUTOINCREMENT, Folder TEXT, FileName TEXT, Extension TEXT, FileSize INTEGER, DateCreated DATE, DateLastModified DATE, DateUploaded DATE);

CREATE TABLE Hash (HashID INTEGER PRIMARY KEY AUTOINCREMENT, FileId INTEGER, BlockNo INTEGER, Hash TEXT);
CREATE INDEX idx_Hash_FileId ON Hash (FileId);
