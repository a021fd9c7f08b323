-- Status.db as an installation ships it: the settings store with the rows the program
-- updates but never inserts. Keys, ImgPresets and Images are created by the program.
CREATE TABLE Setting (SettingID INTEGER PRIMARY KEY AUTOINCREMENT, SettingName TEXT, Setting TEXT, DateSetting DATE);
CREATE INDEX idx_Setting_Name ON Setting (SettingName);

INSERT INTO Setting (SettingName, Setting, DateSetting) VALUES
  ('Status', 'Corvane Backup - Status: Active', '2000-01-01 00:00:00'),
  ('Activity', 'Start', '2000-01-01 00:00:00'),
  ('State', 'Free', '2000-01-01 00:00:00'),
  ('ImageSwitch', 'Y', '2000-01-01 00:00:00'),
  ('SmallImageFileFilter', '0', '2000-01-01 00:00:00'),
  ('DefaultFolderFilter', '0', '2000-01-01 00:00:00'),
  ('UploadsWaiting', '', '2000-01-01 00:00:00'),
  ('LastScanStart', '', '2000-01-01 00:00:00'),
  ('FolderScanThrottle', 'Full', '2000-01-01 00:00:00'),
  ('FileScanThrottle', 'Full', '2000-01-01 00:00:00'),
  ('ScanInterval', '60', '2000-01-01 00:00:00'),
  ('SFBatchSize', '100', '2000-01-01 00:00:00'),
  ('LFBatchSize', '10', '2000-01-01 00:00:00'),
  ('SortOrder', 'Asc', '2000-01-01 00:00:00'),
  ('CurrentImagePreset', '', '2000-01-01 00:00:00');
