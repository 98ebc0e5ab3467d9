# The long jobs of the main window: deleting, joining and the CSV export.
