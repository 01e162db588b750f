-- Lending: branches, periodicals, purchases, events and reading lists (2010-2019).

-- @object User Defined Datatype | Issn | 2011-02-14 08:58:31
CREATE TYPE dbo.Issn FROM char(9) NULL;

-- @object User Defined Datatype | ShelfMark | 2010-06-07 09:57:12
CREATE TYPE dbo.ShelfMark FROM varchar(12) NOT NULL;

-- @object Default | df_OneSeat | 2016-09-12 11:18:05
CREATE DEFAULT dbo.df_OneSeat AS 1;

-- @object Default | df_InterLibraryCharge | 2013-01-21 10:08:44
CREATE DEFAULT dbo.df_InterLibraryCharge AS 3.50;

-- @object Rule | rl_Issn | 2011-02-14 08:58:50
CREATE RULE dbo.rl_Issn AS @value LIKE '[0-9][0-9][0-9][0-9]-[0-9][0-9][0-9][0-9X]';

-- @object Rule | rl_Stars | 2019-05-20 15:58:17
CREATE RULE dbo.rl_Stars AS @value BETWEEN 1 AND 5;

-- @object User Table | Branch | 2010-06-07 10:00:58
CREATE TABLE dbo.Branch (
    BranchId   tinyint       NOT NULL CONSTRAINT PK_Branch PRIMARY KEY,
    Name       nvarchar(60)  NOT NULL CONSTRAINT UQ_Branch_Name UNIQUE,
    Building   nvarchar(60)  NOT NULL,
    OpensAt    time(0)       NOT NULL,
    ClosesAt   time(0)       NOT NULL,
    CONSTRAINT CK_Branch_Hours CHECK (ClosesAt > OpensAt)
);

-- @object User Table | CopyTransfer | 2010-06-07 10:04:41
CREATE TABLE dbo.CopyTransfer (
    TransferId   int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_CopyTransfer PRIMARY KEY,
    CopyId       int      NOT NULL CONSTRAINT FK_CopyTransfer_Copy REFERENCES dbo.Copy (CopyId),
    ToBranchId   tinyint  NOT NULL CONSTRAINT FK_CopyTransfer_Branch REFERENCES dbo.Branch (BranchId),
    SentOn       date     NOT NULL,
    State        char(1)  NOT NULL CONSTRAINT DF_CopyTransfer_State DEFAULT ('S')
                 CONSTRAINT CK_CopyTransfer_State CHECK (State IN ('S', 'R', 'M'))
);

-- @object Stored Procedure | usp_SendCopy | 2010-06-07 10:24:03
CREATE PROCEDURE dbo.usp_SendCopy
    @CopyId     int,
    @ToBranchId tinyint,
    @SentOn     date,
    @TransferId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Branch WHERE BranchId = @ToBranchId)
    BEGIN
        RAISERROR(N'Branch %d does not exist.', 16, 1, @ToBranchId);
        RETURN 1;
    END;
    BEGIN TRANSACTION;
        INSERT INTO dbo.CopyTransfer (CopyId, ToBranchId, SentOn)
        VALUES (@CopyId, @ToBranchId, @SentOn);
        SET @TransferId = SCOPE_IDENTITY();
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_ReceiveTransferredCopy | 2010-07-10 14:49:07
CREATE PROCEDURE dbo.usp_ReceiveTransferredCopy
    @TransferId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.CopyTransfer
           SET State = 'R'
         WHERE TransferId = @TransferId AND State IN ('S');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Copy transfer %d is not S; it cannot move to R.', 16, 1, @TransferId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_MarkTransferMissing | 2010-06-07 10:59:34
CREATE PROCEDURE dbo.usp_MarkTransferMissing
    @TransferId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.CopyTransfer
           SET State = 'M'
         WHERE TransferId = @TransferId AND State IN ('S');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Copy transfer %d is not S; it cannot move to M.', 16, 1, @TransferId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object View | vw_CopiesInTransit | 2010-06-07 11:03:05
CREATE VIEW dbo.vw_CopiesInTransit
AS
SELECT ct.TransferId,
       b.Name AS BranchName,
       ct.CopyId,
       ct.ToBranchId,
       ct.SentOn,
       ct.State
  FROM dbo.CopyTransfer AS ct
  JOIN dbo.Branch AS b ON b.BranchId = ct.ToBranchId
 WHERE ct.State IN ('S', 'R');

-- @object View | vw_TransfersByBranch | 2010-06-07 11:13:33
CREATE VIEW dbo.vw_TransfersByBranch
WITH SCHEMABINDING
AS
SELECT b.BranchId, b.Name,
       COUNT_BIG(*) AS CopyTransfers,
       MIN(ct.SentOn) AS FirstSentOn, MAX(ct.SentOn) AS LastSentOn
  FROM dbo.CopyTransfer AS ct
  JOIN dbo.Branch AS b ON b.BranchId = ct.ToBranchId
 GROUP BY b.BranchId, b.Name;

-- @object Stored Procedure | usp_PurgeTransfers | 2012-07-30 16:27:38
CREATE PROCEDURE dbo.usp_PurgeTransfers
    @KeepMonths int = 24,
    @BatchSize  int = 5000
AS
BEGIN
    SET NOCOUNT ON;
    DECLARE @Cutoff date = DATEADD(month, -@KeepMonths, CONVERT(date, GETDATE()));
    DECLARE @Deleted int = 1, @Total int = 0;
    WHILE @Deleted > 0
    BEGIN
        BEGIN TRANSACTION;
            DELETE TOP (@BatchSize) FROM dbo.CopyTransfer
             WHERE SentOn < @Cutoff AND State IN ('M', 'R');
            SET @Deleted = @@ROWCOUNT;
        COMMIT TRANSACTION;
        SET @Total += @Deleted;
        WAITFOR DELAY '00:00:01'; -- let the log writer keep up
    END;
    PRINT CONCAT(@Total, N' copy transfer rows removed.');
END;

-- @object User Table | Periodical | 2011-02-14 09:00:39
CREATE TABLE dbo.Periodical (
    PeriodicalId int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_Periodical PRIMARY KEY,
    Name         nvarchar(120) NOT NULL,
    Issn         char(9)       NULL CONSTRAINT UQ_Periodical_Issn UNIQUE,
    BranchId     tinyint       NOT NULL CONSTRAINT FK_Periodical_Branch REFERENCES dbo.Branch (BranchId),
    IssuesPerYear tinyint      NOT NULL,
    AnnualCost   decimal(8, 2) NOT NULL
);

-- @object Stored Procedure | usp_AddPeriodical | 2011-02-14 09:05:40
CREATE PROCEDURE dbo.usp_AddPeriodical
    @Name          nvarchar(120),
    @Issn          char(9),
    @BranchId      tinyint,
    @IssuesPerYear tinyint,
    @AnnualCost    decimal(8, 2),
    @PeriodicalId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Branch WHERE BranchId = @BranchId)
    BEGIN
        RAISERROR(N'Branch %d does not exist.', 16, 1, @BranchId);
        RETURN 1;
    END;
    BEGIN TRANSACTION;
        INSERT INTO dbo.Periodical (Name, Issn, BranchId, IssuesPerYear, AnnualCost)
        VALUES (@Name, @Issn, @BranchId, @IssuesPerYear, @AnnualCost);
        SET @PeriodicalId = SCOPE_IDENTITY();
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object View | vw_SubscriptionCosts | 2011-02-14 09:22:13
CREATE VIEW dbo.vw_SubscriptionCosts
WITH SCHEMABINDING
AS
SELECT b.BranchId, b.Name,
       COUNT_BIG(*) AS Periodicals,
       SUM(ISNULL(p.AnnualCost, 0)) AS TotalAnnualCost
  FROM dbo.Periodical AS p
  JOIN dbo.Branch AS b ON b.BranchId = p.BranchId
 GROUP BY b.BranchId, b.Name;

-- @object Stored Procedure | usp_FindPeriodical | 2011-02-14 09:26:17
CREATE PROCEDURE dbo.usp_FindPeriodical
    @BranchId tinyint = NULL,
    @NameLike nvarchar(60) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SELECT p.PeriodicalId, p.Name, p.Issn, p.BranchId, p.IssuesPerYear, b.Name
      FROM dbo.Periodical AS p
      JOIN dbo.Branch AS b ON b.BranchId = p.BranchId
     WHERE (@BranchId IS NULL OR p.BranchId = @BranchId)
       AND (@NameLike IS NULL OR p.Name LIKE @NameLike + N'%')
     ORDER BY p.PeriodicalId;
END;

-- @object User Defined Function | fn_BranchSubscriptions | 2011-02-14 09:48:21
CREATE FUNCTION dbo.fn_BranchSubscriptions (@BranchId tinyint)
RETURNS decimal(19, 4)
WITH SCHEMABINDING
AS
BEGIN
    RETURN (SELECT ISNULL(SUM(AnnualCost), 0) FROM dbo.Periodical WHERE BranchId = @BranchId);
END;

-- @object User Table | PeriodicalIssue | 2011-02-14 09:03:11
CREATE TABLE dbo.PeriodicalIssue (
    IssueId      int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_PeriodicalIssue PRIMARY KEY,
    PeriodicalId int          NOT NULL CONSTRAINT FK_PeriodicalIssue_Periodical REFERENCES dbo.Periodical (PeriodicalId),
    IssueLabel   nvarchar(30) NOT NULL,
    ArrivedOn    date         NOT NULL,
    Pages        smallint     NULL,
    CONSTRAINT UQ_PeriodicalIssue UNIQUE (PeriodicalId, IssueLabel)
);

-- @object Stored Procedure | usp_CheckInIssue | 2011-02-14 09:12:44
CREATE PROCEDURE dbo.usp_CheckInIssue
    @PeriodicalId int,
    @IssueLabel   nvarchar(30),
    @ArrivedOn    date,
    @Pages        smallint,
    @IssueId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Periodical WHERE PeriodicalId = @PeriodicalId)
    BEGIN
        RAISERROR(N'Periodical %d does not exist.', 16, 1, @PeriodicalId);
        RETURN 1;
    END;
    BEGIN TRANSACTION;
        INSERT INTO dbo.PeriodicalIssue (PeriodicalId, IssueLabel, ArrivedOn, Pages)
        VALUES (@PeriodicalId, @IssueLabel, @ArrivedOn, @Pages);
        SET @IssueId = SCOPE_IDENTITY();
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object User Defined Function | fn_IssuesOf | 2011-02-14 09:38:49
CREATE FUNCTION dbo.fn_IssuesOf (@PeriodicalId int)
RETURNS TABLE
AS
RETURN
    SELECT pi.IssueId, pi.PeriodicalId, pi.IssueLabel, pi.ArrivedOn, pi.Pages
      FROM dbo.PeriodicalIssue AS pi
     WHERE pi.PeriodicalId = @PeriodicalId;

-- @object Stored Procedure | usp_DiscardOldIssues | 2013-03-09 11:51:34
CREATE PROCEDURE dbo.usp_DiscardOldIssues
    @KeepMonths int = 24,
    @BatchSize  int = 5000
AS
BEGIN
    SET NOCOUNT ON;
    DECLARE @Cutoff date = DATEADD(month, -@KeepMonths, CONVERT(date, GETDATE()));
    DECLARE @Deleted int = 1, @Total int = 0;
    WHILE @Deleted > 0
    BEGIN
        BEGIN TRANSACTION;
            DELETE TOP (@BatchSize) FROM dbo.PeriodicalIssue
             WHERE ArrivedOn < @Cutoff;
            SET @Deleted = @@ROWCOUNT;
        COMMIT TRANSACTION;
        SET @Total += @Deleted;
        WAITFOR DELAY '00:00:01'; -- let the log writer keep up
    END;
    PRINT CONCAT(@Total, N' periodical issue rows removed.');
END;

-- @object View | vw_LatestIssues | 2011-02-14 10:16:48
CREATE VIEW dbo.vw_LatestIssues
AS
SELECT pi.IssueId,
       p.Name AS PeriodicalName,
       pi.PeriodicalId,
       pi.IssueLabel,
       pi.ArrivedOn,
       pi.Pages
  FROM dbo.PeriodicalIssue AS pi
  JOIN dbo.Periodical AS p ON p.PeriodicalId = pi.PeriodicalId;

-- @object User Table | Acquisition | 2012-08-20 13:30:48
CREATE TABLE dbo.Acquisition (
    AcquisitionId int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_Acquisition PRIMARY KEY,
    TitleId       int           NOT NULL CONSTRAINT FK_Acquisition_Title REFERENCES dbo.Title (TitleId),
    RequestedBy   int           NULL CONSTRAINT FK_Acquisition_Member REFERENCES dbo.Member (MemberId),
    OrderedOn     date          NOT NULL,
    Copies        tinyint       NOT NULL CONSTRAINT CK_Acquisition_Copies CHECK (Copies BETWEEN 1 AND 20),
    Cost          decimal(8, 2) NOT NULL,
    Status        varchar(9)    NOT NULL CONSTRAINT DF_Acquisition_Status DEFAULT ('REQUESTED')
                      CONSTRAINT CK_Acquisition_Status CHECK (Status IN ('REQUESTED', 'ORDERED', 'ARRIVED', 'REFUSED'))
);

-- @object Stored Procedure | usp_RequestPurchase | 2012-08-20 13:53:27
CREATE PROCEDURE dbo.usp_RequestPurchase
    @TitleId     int,
    @RequestedBy int,
    @OrderedOn   date,
    @Copies      tinyint,
    @Cost        decimal(8, 2),
    @AcquisitionId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Title WHERE TitleId = @TitleId)
    BEGIN
        RAISERROR(N'Title %d does not exist.', 16, 1, @TitleId);
        RETURN 1;
    END;
    BEGIN TRY
        BEGIN TRANSACTION;
            INSERT INTO dbo.Acquisition (TitleId, RequestedBy, OrderedOn, Copies, Cost)
            VALUES (@TitleId, @RequestedBy, @OrderedOn, @Copies, @Cost);
            SET @AcquisitionId = SCOPE_IDENTITY();
            INSERT INTO dbo.AcquisitionHistory (AcquisitionId, Note)
            VALUES (@AcquisitionId, CONCAT(N'Created by ', SUSER_SNAME()));
        COMMIT TRANSACTION;
    END TRY
    BEGIN CATCH
        IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;
        THROW;
    END CATCH;
END;

-- @object Stored Procedure | usp_OrderPurchase | 2012-08-20 14:14:20
CREATE PROCEDURE dbo.usp_OrderPurchase
    @AcquisitionId int
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.Acquisition
           SET Status = 'ORDERED'
         WHERE AcquisitionId = @AcquisitionId AND Status IN ('REQUESTED');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Acquisition %d is not REQUESTED; it cannot move to ORDERED.', 16, 1, @AcquisitionId);
            RETURN 1;
        END;
        INSERT INTO dbo.AcquisitionHistory (AcquisitionId, Note)
        VALUES (@AcquisitionId, N'Ordered');
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_PurchaseArrived | 2012-08-20 14:45:09
CREATE PROCEDURE dbo.usp_PurchaseArrived
    @AcquisitionId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.Acquisition
           SET Status = 'ARRIVED'
         WHERE AcquisitionId = @AcquisitionId AND Status IN ('ORDERED');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Acquisition %d is not ORDERED; it cannot move to ARRIVED.', 16, 1, @AcquisitionId);
            RETURN 1;
        END;
        INSERT INTO dbo.AcquisitionHistory (AcquisitionId, Note)
        VALUES (@AcquisitionId, ISNULL(@Note, N'Arrived'));
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_RefusePurchase | 2012-08-20 15:10:16
CREATE PROCEDURE dbo.usp_RefusePurchase
    @AcquisitionId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.Acquisition
           SET Status = 'REFUSED'
         WHERE AcquisitionId = @AcquisitionId AND Status IN ('REQUESTED');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Acquisition %d is not REQUESTED; it cannot move to REFUSED.', 16, 1, @AcquisitionId);
            RETURN 1;
        END;
        INSERT INTO dbo.AcquisitionHistory (AcquisitionId, Note)
        VALUES (@AcquisitionId, ISNULL(@Note, N'Refused'));
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object View | vw_PurchaseRequests | 2012-08-20 15:30:53
CREATE VIEW dbo.vw_PurchaseRequests
AS
SELECT a.AcquisitionId,
       t.Name AS TitleName,
       a.TitleId,
       a.RequestedBy,
       a.OrderedOn,
       a.Copies,
       a.Cost
  FROM dbo.Acquisition AS a
  JOIN dbo.Title AS t ON t.TitleId = a.TitleId
 WHERE a.Status IN ('REQUESTED', 'ORDERED');

-- @object View | vw_BookSpendByMonth | 2012-08-20 16:03:59
CREATE VIEW dbo.vw_BookSpendByMonth
AS
SELECT YEAR(a.OrderedOn) AS [Year], MONTH(a.OrderedOn) AS [Month],
       COUNT(*) AS Acquisitions,
       SUM(a.Cost) AS TotalCost,
       AVG(a.Cost) AS AverageCost
  FROM dbo.Acquisition AS a
 WHERE a.Status <> 'REFUSED'
 GROUP BY YEAR(a.OrderedOn), MONTH(a.OrderedOn);

-- @object Trigger | tr_Acquisition_History | 2013-01-30 19:14:08
CREATE TRIGGER dbo.tr_Acquisition_History ON dbo.Acquisition
AFTER UPDATE
AS
BEGIN
    SET NOCOUNT ON;
    IF NOT UPDATE(Status) RETURN;
    INSERT INTO dbo.AcquisitionHistory (AcquisitionId, Note)
    SELECT i.AcquisitionId, CONCAT(d.Status, N' -> ', i.Status)
      FROM inserted AS i
      JOIN deleted AS d ON d.AcquisitionId = i.AcquisitionId
     WHERE d.Status <> i.Status;
END;

-- @object Stored Procedure | usp_AcquisitionsReport | 2014-03-12 19:25:36
CREATE PROCEDURE dbo.usp_AcquisitionsReport
    @From date,
    @To   date
AS
BEGIN
    SET NOCOUNT ON;
    SELECT t.Name,
           COUNT(*) AS Acquisitions,
           SUM(a.Cost) AS TotalCost,
           MAX(a.Cost) AS LargestCost,
           SUM(CASE WHEN a.Status = 'REFUSED' THEN 1 ELSE 0 END) AS Refused
      FROM dbo.Acquisition AS a
      JOIN dbo.Title AS t ON t.TitleId = a.TitleId
     WHERE a.OrderedOn >= @From AND a.OrderedOn < DATEADD(day, 1, @To)
     GROUP BY t.Name
     ORDER BY TotalCost DESC;
END;

-- @object User Defined Function | fn_WeeklyBookSpend | 2013-08-06 12:33:33
CREATE FUNCTION dbo.fn_WeeklyBookSpend (@From date, @To date)
RETURNS @Result TABLE (
    Week      date NOT NULL PRIMARY KEY,
    Acquisitions int  NOT NULL,
    Total     decimal(8, 2) NULL
)
AS
BEGIN
    DECLARE @Week date = DATEADD(day, 1 - DATEPART(weekday, @From), @From);
    WHILE @Week <= @To
    BEGIN
        INSERT INTO @Result (Week, Acquisitions, Total)
        SELECT @Week, COUNT(*), SUM(a.Cost)
          FROM dbo.Acquisition AS a
         WHERE a.OrderedOn >= @Week AND a.OrderedOn < DATEADD(day, 7, @Week);
        SET @Week = DATEADD(day, 7, @Week);
    END;
    RETURN;
END;

-- @object User Table | AcquisitionHistory | 2012-08-20 13:31:00
CREATE TABLE dbo.AcquisitionHistory (
    HistoryId     int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_AcquisitionHistory PRIMARY KEY,
    AcquisitionId int           NOT NULL CONSTRAINT FK_AcquisitionHistory_Acquisition REFERENCES dbo.Acquisition (AcquisitionId),
    Note          nvarchar(200) NOT NULL,
    ChangedAt     datetime2(0)  NOT NULL CONSTRAINT DF_AcquisitionHistory_ChangedAt DEFAULT (SYSUTCDATETIME())
);

-- @object User Defined Function | fn_AcquisitionTrail | 2012-08-20 13:39:02
CREATE FUNCTION dbo.fn_AcquisitionTrail (@AcquisitionId int)
RETURNS TABLE
AS
RETURN
    SELECT ah.HistoryId, ah.AcquisitionId, ah.Note, ah.ChangedAt
      FROM dbo.AcquisitionHistory AS ah
     WHERE ah.AcquisitionId = @AcquisitionId;

-- @object User Table | LibraryEvent | 2016-09-12 11:20:06
CREATE TABLE dbo.LibraryEvent (
    EventId     int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_LibraryEvent PRIMARY KEY,
    BranchId    tinyint        NOT NULL CONSTRAINT FK_LibraryEvent_Branch REFERENCES dbo.Branch (BranchId),
    Title       nvarchar(120)  NOT NULL,
    StartsAt    datetime2(0)   NOT NULL,
    Places      smallint       NOT NULL CONSTRAINT CK_LibraryEvent_Places CHECK (Places > 0),
    Status      char(1)        NOT NULL CONSTRAINT DF_LibraryEvent_Status DEFAULT ('A')
                   CONSTRAINT CK_LibraryEvent_Status CHECK (Status IN ('A', 'F', 'C'))
);

-- @object Stored Procedure | usp_ScheduleEvent | 2016-09-12 11:25:07
CREATE PROCEDURE dbo.usp_ScheduleEvent
    @BranchId tinyint,
    @Title    nvarchar(120),
    @StartsAt datetime2(0),
    @Places   smallint,
    @EventId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Branch WHERE BranchId = @BranchId)
    BEGIN
        RAISERROR(N'Branch %d does not exist.', 16, 1, @BranchId);
        RETURN 1;
    END;
    BEGIN TRANSACTION;
        INSERT INTO dbo.LibraryEvent (BranchId, Title, StartsAt, Places)
        VALUES (@BranchId, @Title, @StartsAt, @Places);
        SET @EventId = SCOPE_IDENTITY();
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_CancelEvent | 2016-09-12 11:46:20
CREATE PROCEDURE dbo.usp_CancelEvent
    @EventId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.LibraryEvent
           SET Status = 'C'
         WHERE EventId = @EventId AND Status IN ('A', 'F');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Library event %d is not A or F; it cannot move to C.', 16, 1, @EventId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object View | vw_UpcomingEvents | 2016-09-12 11:58:14
CREATE VIEW dbo.vw_UpcomingEvents
AS
SELECT le.EventId,
       b.Name AS BranchName,
       le.BranchId,
       le.Title,
       le.StartsAt,
       le.Places,
       le.Status
  FROM dbo.LibraryEvent AS le
  JOIN dbo.Branch AS b ON b.BranchId = le.BranchId
 WHERE le.Status IN ('A', 'F');

-- @object Stored Procedure | usp_FindEvents | 2016-09-12 12:22:17
CREATE PROCEDURE dbo.usp_FindEvents
    @BranchId tinyint = NULL,
    @TitleLike nvarchar(60) = NULL,
    @From date = NULL,
    @To   date = NULL,
    @Status varchar(10) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SELECT le.EventId, le.BranchId, le.Title, le.StartsAt, le.Places, b.Name
      FROM dbo.LibraryEvent AS le
      JOIN dbo.Branch AS b ON b.BranchId = le.BranchId
     WHERE (@BranchId IS NULL OR le.BranchId = @BranchId)
       AND (@TitleLike IS NULL OR le.Title LIKE @TitleLike + N'%')
       AND (@From IS NULL OR le.StartsAt >= @From)
       AND (@To IS NULL OR le.StartsAt < DATEADD(day, 1, @To))
       AND (@Status IS NULL OR le.Status = @Status)
     ORDER BY le.StartsAt DESC;
END;

-- @object View | vw_EventsByBranch | 2016-09-12 12:26:49
CREATE VIEW dbo.vw_EventsByBranch
WITH SCHEMABINDING
AS
SELECT b.BranchId, b.Name,
       COUNT_BIG(*) AS LibraryEvents,
       SUM(ISNULL(le.Places, 0)) AS TotalPlaces,
       MIN(le.StartsAt) AS FirstStartsAt, MAX(le.StartsAt) AS LastStartsAt
  FROM dbo.LibraryEvent AS le
  JOIN dbo.Branch AS b ON b.BranchId = le.BranchId
 GROUP BY b.BranchId, b.Name;

-- @object User Table | EventBooking | 2016-09-12 11:24:58
CREATE TABLE dbo.EventBooking (
    BookingId   int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_EventBooking PRIMARY KEY,
    EventId     int          NOT NULL CONSTRAINT FK_EventBooking_Event REFERENCES dbo.LibraryEvent (EventId),
    MemberId    int          NOT NULL CONSTRAINT FK_EventBooking_Member REFERENCES dbo.Member (MemberId),
    BookedAt    datetime2(0) NOT NULL,
    Seats       tinyint      NOT NULL CONSTRAINT DF_EventBooking_Seats DEFAULT (1),
    CONSTRAINT UQ_EventBooking UNIQUE (EventId, MemberId)
);

-- @object Stored Procedure | usp_BookEvent | 2016-09-12 11:37:52
CREATE PROCEDURE dbo.usp_BookEvent
    @EventId  int,
    @MemberId int,
    @BookedAt datetime2(0),
    @BookingId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.LibraryEvent WHERE EventId = @EventId)
    BEGIN
        RAISERROR(N'Library event %d does not exist.', 16, 1, @EventId);
        RETURN 1;
    END;
    BEGIN TRY
        BEGIN TRANSACTION;
            INSERT INTO dbo.EventBooking (EventId, MemberId, BookedAt)
            VALUES (@EventId, @MemberId, @BookedAt);
            SET @BookingId = SCOPE_IDENTITY();
        COMMIT TRANSACTION;
    END TRY
    BEGIN CATCH
        IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;
        THROW;
    END CATCH;
END;

-- @object User Defined Function | fn_SeatsTaken | 2016-09-12 12:03:42
CREATE FUNCTION dbo.fn_SeatsTaken (@EventId int)
RETURNS int
WITH SCHEMABINDING
AS
BEGIN
    RETURN (SELECT ISNULL(SUM(Seats), 0) FROM dbo.EventBooking WHERE EventId = @EventId);
END;

-- @object User Defined Function | fn_EventAttendees | 2017-01-05 17:07:55
CREATE FUNCTION dbo.fn_EventAttendees (@EventId int)
RETURNS TABLE
AS
RETURN
    SELECT eb.BookingId, eb.EventId, eb.MemberId, eb.BookedAt, eb.Seats
      FROM dbo.EventBooking AS eb
     WHERE eb.EventId = @EventId;

-- @object Stored Procedure | usp_EventAttendanceReport | 2019-12-09 15:41:42
CREATE PROCEDURE dbo.usp_EventAttendanceReport
    @From date,
    @To   date
AS
BEGIN
    SET NOCOUNT ON;
    SELECT le.Title,
           COUNT(*) AS EventBookings,
           SUM(eb.Seats) AS TotalSeats,
           MAX(eb.Seats) AS LargestSeats
      FROM dbo.EventBooking AS eb
      JOIN dbo.LibraryEvent AS le ON le.EventId = eb.EventId
     WHERE eb.BookedAt >= @From AND eb.BookedAt < DATEADD(day, 1, @To)
     GROUP BY le.Title
     ORDER BY TotalSeats DESC;
END;

-- @object User Table | InterLibraryRequest | 2013-01-21 10:10:19
CREATE TABLE dbo.InterLibraryRequest (
    RequestId    int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_InterLibraryRequest PRIMARY KEY,
    MemberId     int           NOT NULL CONSTRAINT FK_InterLibraryRequest_Member REFERENCES dbo.Member (MemberId),
    Citation     nvarchar(400) NOT NULL,
    RequestedOn  date          NOT NULL,
    Charge       decimal(6, 2) NOT NULL CONSTRAINT DF_InterLibraryRequest_Charge DEFAULT (3.50),
    Status       varchar(8)    NOT NULL CONSTRAINT DF_InterLibraryRequest_Status DEFAULT ('NEW')
                     CONSTRAINT CK_InterLibraryRequest_Status CHECK (Status IN ('NEW', 'SOURCED', 'ARRIVED', 'RETURNED', 'FAILED'))
);

-- @object Stored Procedure | usp_RequestInterLibraryLoan | 2013-01-21 10:15:15
CREATE PROCEDURE dbo.usp_RequestInterLibraryLoan
    @MemberId    int,
    @Citation    nvarchar(400),
    @RequestedOn date,
    @RequestId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Member WHERE MemberId = @MemberId)
    BEGIN
        RAISERROR(N'Member %d does not exist.', 16, 1, @MemberId);
        RETURN 1;
    END;
    BEGIN TRANSACTION;
        INSERT INTO dbo.InterLibraryRequest (MemberId, Citation, RequestedOn)
        VALUES (@MemberId, @Citation, @RequestedOn);
        SET @RequestId = SCOPE_IDENTITY();
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_SourceInterLibraryLoan | 2013-01-21 10:39:18
CREATE PROCEDURE dbo.usp_SourceInterLibraryLoan
    @RequestId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.InterLibraryRequest
           SET Status = 'SOURCED'
         WHERE RequestId = @RequestId AND Status IN ('NEW');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Inter library request %d is not NEW; it cannot move to SOURCED.', 16, 1, @RequestId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_InterLibraryLoanArrived | 2013-01-21 11:00:35
CREATE PROCEDURE dbo.usp_InterLibraryLoanArrived
    @RequestId int
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.InterLibraryRequest
           SET Status = 'ARRIVED'
         WHERE RequestId = @RequestId AND Status IN ('SOURCED');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Inter library request %d is not SOURCED; it cannot move to ARRIVED.', 16, 1, @RequestId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_InterLibraryLoanReturned | 2013-01-21 11:22:39
CREATE PROCEDURE dbo.usp_InterLibraryLoanReturned
    @RequestId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.InterLibraryRequest
           SET Status = 'RETURNED'
         WHERE RequestId = @RequestId AND Status IN ('ARRIVED');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Inter library request %d is not ARRIVED; it cannot move to RETURNED.', 16, 1, @RequestId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_InterLibraryLoanFailed | 2013-01-21 11:51:21
CREATE PROCEDURE dbo.usp_InterLibraryLoanFailed
    @RequestId int
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.InterLibraryRequest
           SET Status = 'FAILED'
         WHERE RequestId = @RequestId AND Status IN ('NEW', 'SOURCED');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Inter library request %d is not NEW or SOURCED; it cannot move to FAILED.', 16, 1, @RequestId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object View | vw_InterLibraryOutstanding | 2013-01-21 12:03:05
CREATE VIEW dbo.vw_InterLibraryOutstanding
AS
SELECT ilr.RequestId,
       m.Name AS MemberName,
       ilr.MemberId,
       ilr.Citation,
       ilr.RequestedOn,
       ilr.Charge,
       ilr.Status
  FROM dbo.InterLibraryRequest AS ilr
  JOIN dbo.Member AS m ON m.MemberId = ilr.MemberId
 WHERE ilr.Status IN ('NEW', 'SOURCED');

-- @object View | vw_InterLibraryByMember | 2016-09-02 13:11:20
CREATE VIEW dbo.vw_InterLibraryByMember
WITH SCHEMABINDING
AS
SELECT m.MemberId, m.Name,
       COUNT_BIG(*) AS InterLibraryRequests,
       SUM(ISNULL(ilr.Charge, 0)) AS TotalCharge,
       MIN(ilr.RequestedOn) AS FirstRequestedOn, MAX(ilr.RequestedOn) AS LastRequestedOn
  FROM dbo.InterLibraryRequest AS ilr
  JOIN dbo.Member AS m ON m.MemberId = ilr.MemberId
 GROUP BY m.MemberId, m.Name;

-- @object User Defined Function | fn_InterLibraryCharges | 2013-05-27 14:15:34
CREATE FUNCTION dbo.fn_InterLibraryCharges (@MemberId int)
RETURNS decimal(19, 4)
WITH SCHEMABINDING
AS
BEGIN
    RETURN (SELECT ISNULL(SUM(Charge), 0) FROM dbo.InterLibraryRequest WHERE MemberId = @MemberId AND Status <> 'FAILED');
END;

-- @object Stored Procedure | usp_FindInterLibraryRequests | 2013-01-21 12:27:40
CREATE PROCEDURE dbo.usp_FindInterLibraryRequests
    @MemberId int = NULL,
    @CitationLike nvarchar(60) = NULL,
    @From date = NULL,
    @To   date = NULL,
    @Status varchar(10) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SELECT ilr.RequestId, ilr.MemberId, ilr.Citation, ilr.RequestedOn, ilr.Charge, m.Name
      FROM dbo.InterLibraryRequest AS ilr
      JOIN dbo.Member AS m ON m.MemberId = ilr.MemberId
     WHERE (@MemberId IS NULL OR ilr.MemberId = @MemberId)
       AND (@CitationLike IS NULL OR ilr.Citation LIKE @CitationLike + N'%')
       AND (@From IS NULL OR ilr.RequestedOn >= @From)
       AND (@To IS NULL OR ilr.RequestedOn < DATEADD(day, 1, @To))
       AND (@Status IS NULL OR ilr.Status = @Status)
     ORDER BY ilr.RequestedOn DESC;
END;

-- @object User Table | ReadingList | 2018-02-05 09:45:13
CREATE TABLE dbo.ReadingList (
    ListId      int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_ReadingList PRIMARY KEY,
    MemberId    int           NOT NULL CONSTRAINT FK_ReadingList_Member REFERENCES dbo.Member (MemberId),
    Name        nvarchar(80)  NOT NULL,
    CreatedOn   date          NOT NULL,
    IsPublic    bit           NOT NULL CONSTRAINT DF_ReadingList_IsPublic DEFAULT (0)
);

-- @object Stored Procedure | usp_CreateReadingList | 2018-02-05 10:00:10
CREATE PROCEDURE dbo.usp_CreateReadingList
    @MemberId  int,
    @Name      nvarchar(80),
    @CreatedOn date,
    @ListId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Member WHERE MemberId = @MemberId)
    BEGIN
        RAISERROR(N'Member %d does not exist.', 16, 1, @MemberId);
        RETURN 1;
    END;
    BEGIN TRY
        BEGIN TRANSACTION;
            INSERT INTO dbo.ReadingList (MemberId, Name, CreatedOn)
            VALUES (@MemberId, @Name, @CreatedOn);
            SET @ListId = SCOPE_IDENTITY();
        COMMIT TRANSACTION;
    END TRY
    BEGIN CATCH
        IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;
        THROW;
    END CATCH;
END;

-- @object View | vw_PublicReadingLists | 2018-02-05 10:34:42
CREATE VIEW dbo.vw_PublicReadingLists
AS
SELECT rl.ListId,
       m.Name AS MemberName,
       rl.MemberId,
       rl.Name,
       rl.CreatedOn,
       rl.IsPublic
  FROM dbo.ReadingList AS rl
  JOIN dbo.Member AS m ON m.MemberId = rl.MemberId;

-- @object Stored Procedure | usp_FindReadingLists | 2018-02-05 10:46:37
CREATE PROCEDURE dbo.usp_FindReadingLists
    @MemberId int = NULL,
    @NameLike nvarchar(60) = NULL,
    @From date = NULL,
    @To   date = NULL,
    @Page     int = 1,
    @PageSize int = 50
AS
BEGIN
    SET NOCOUNT ON;
    SELECT rl.ListId, rl.MemberId, rl.Name, rl.CreatedOn, rl.IsPublic, m.Name
      FROM dbo.ReadingList AS rl
      JOIN dbo.Member AS m ON m.MemberId = rl.MemberId
     WHERE (@MemberId IS NULL OR rl.MemberId = @MemberId)
       AND (@NameLike IS NULL OR rl.Name LIKE @NameLike + N'%')
       AND (@From IS NULL OR rl.CreatedOn >= @From)
       AND (@To IS NULL OR rl.CreatedOn < DATEADD(day, 1, @To))
     ORDER BY rl.CreatedOn DESC
    OFFSET (@Page - 1) * @PageSize ROWS FETCH NEXT @PageSize ROWS ONLY;
END;

-- @object User Table | ReadingListItem | 2018-02-05 09:48:22
CREATE TABLE dbo.ReadingListItem (
    ListId      int            NOT NULL CONSTRAINT FK_ReadingListItem_List REFERENCES dbo.ReadingList (ListId) ON DELETE CASCADE,
    TitleId     int            NOT NULL CONSTRAINT FK_ReadingListItem_Title REFERENCES dbo.Title (TitleId),
    Position    smallint       NOT NULL,
    Note        nvarchar(200)  NULL,
    CONSTRAINT PK_ReadingListItem PRIMARY KEY (ListId, TitleId)
);

-- @object User Defined Function | fn_ReadingListTitles | 2018-02-05 10:17:38
CREATE FUNCTION dbo.fn_ReadingListTitles (@ListId int)
RETURNS TABLE
AS
RETURN
    SELECT rli.ListId, rli.TitleId, rli.Position, rli.Note
      FROM dbo.ReadingListItem AS rli
     WHERE rli.ListId = @ListId;

-- @object User Defined Function | fn_ReadingListLength | 2018-02-05 10:45:52
CREATE FUNCTION dbo.fn_ReadingListLength (@ListId int)
RETURNS int
WITH SCHEMABINDING
AS
BEGIN
    RETURN (SELECT COUNT(*) FROM dbo.ReadingListItem WHERE ListId = @ListId);
END;

-- @object User Table | TitleReview | 2019-05-20 16:00:22
CREATE TABLE dbo.TitleReview (
    ReviewId    int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_TitleReview PRIMARY KEY,
    TitleId     int           NOT NULL CONSTRAINT FK_TitleReview_Title REFERENCES dbo.Title (TitleId),
    MemberId    int           NOT NULL CONSTRAINT FK_TitleReview_Member REFERENCES dbo.Member (MemberId),
    Stars       tinyint       NOT NULL CONSTRAINT CK_TitleReview_Stars CHECK (Stars BETWEEN 1 AND 5),
    Comment     nvarchar(1000) NULL,
    PostedOn    date          NOT NULL,
    CONSTRAINT UQ_TitleReview UNIQUE (TitleId, MemberId)
);

-- @object Stored Procedure | usp_ReviewTitle | 2019-12-20 17:00:29
CREATE PROCEDURE dbo.usp_ReviewTitle
    @TitleId  int,
    @MemberId int,
    @Stars    tinyint,
    @Comment  nvarchar(1000),
    @PostedOn date,
    @ReviewId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Title WHERE TitleId = @TitleId)
    BEGIN
        RAISERROR(N'Title %d does not exist.', 16, 1, @TitleId);
        RETURN 1;
    END;
    BEGIN TRY
        BEGIN TRANSACTION;
            INSERT INTO dbo.TitleReview (TitleId, MemberId, Stars, Comment, PostedOn)
            VALUES (@TitleId, @MemberId, @Stars, @Comment, @PostedOn);
            SET @ReviewId = SCOPE_IDENTITY();
        COMMIT TRANSACTION;
    END TRY
    BEGIN CATCH
        IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;
        THROW;
    END CATCH;
END;

-- @object View | vw_TitleRatings | 2019-05-20 16:23:32
CREATE VIEW dbo.vw_TitleRatings
WITH SCHEMABINDING
AS
SELECT t.TitleId, t.Name,
       COUNT_BIG(*) AS TitleReviews,
       SUM(ISNULL(tr.Stars, 0)) AS TotalStars,
       MIN(tr.PostedOn) AS FirstPostedOn, MAX(tr.PostedOn) AS LastPostedOn
  FROM dbo.TitleReview AS tr
  JOIN dbo.Title AS t ON t.TitleId = tr.TitleId
 GROUP BY t.TitleId, t.Name;

-- @object User Defined Function | fn_TitleStars | 2019-05-20 16:55:59
CREATE FUNCTION dbo.fn_TitleStars (@TitleId int)
RETURNS int
WITH SCHEMABINDING
AS
BEGIN
    RETURN (SELECT ISNULL(SUM(Stars), 0) FROM dbo.TitleReview WHERE TitleId = @TitleId);
END;

-- @object Stored Procedure | usp_BestRatedReport | 2019-12-20 17:00:47
CREATE PROCEDURE dbo.usp_BestRatedReport
    @From date,
    @To   date,
    @AtLeast int = 1
AS
BEGIN
    SET NOCOUNT ON;
    SELECT t.Name,
           COUNT(*) AS TitleReviews,
           SUM(tr.Stars) AS TotalStars,
           MAX(tr.Stars) AS LargestStars
      FROM dbo.TitleReview AS tr
      JOIN dbo.Title AS t ON t.TitleId = tr.TitleId
     WHERE tr.PostedOn >= @From AND tr.PostedOn < DATEADD(day, 1, @To)
     GROUP BY t.Name
     HAVING COUNT(*) >= @AtLeast
     ORDER BY TotalStars DESC;
END;

-- @object User Table | DamageReport | 2014-11-03 12:30:03
CREATE TABLE dbo.DamageReport (
    ReportId    int IDENTITY(1, 1) NOT NULL CONSTRAINT PK_DamageReport PRIMARY KEY,
    CopyId      int           NOT NULL CONSTRAINT FK_DamageReport_Copy REFERENCES dbo.Copy (CopyId),
    LoanId      int           NULL CONSTRAINT FK_DamageReport_Loan REFERENCES dbo.Loan (LoanId),
    ReportedOn  date          NOT NULL,
    Damage      nvarchar(200) NOT NULL,
    RepairCost  decimal(6, 2) NULL,
    Outcome     char(1)       NOT NULL CONSTRAINT DF_DamageReport_Outcome DEFAULT ('O')
                    CONSTRAINT CK_DamageReport_Outcome CHECK (Outcome IN ('O', 'M', 'W'))
);

-- @object Stored Procedure | usp_ReportDamage | 2014-11-03 12:54:23
CREATE PROCEDURE dbo.usp_ReportDamage
    @CopyId     int,
    @LoanId     int,
    @ReportedOn date,
    @Damage     nvarchar(200),
    @RepairCost decimal(6, 2),
    @ReportId int OUTPUT
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    IF NOT EXISTS (SELECT 1 FROM dbo.Copy WHERE CopyId = @CopyId)
    BEGIN
        RAISERROR(N'Copy %d does not exist.', 16, 1, @CopyId);
        RETURN 1;
    END;
    BEGIN TRY
        BEGIN TRANSACTION;
            INSERT INTO dbo.DamageReport (CopyId, LoanId, ReportedOn, Damage, RepairCost)
            VALUES (@CopyId, @LoanId, @ReportedOn, @Damage, @RepairCost);
            SET @ReportId = SCOPE_IDENTITY();
        COMMIT TRANSACTION;
    END TRY
    BEGIN CATCH
        IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION;
        THROW;
    END CATCH;
END;

-- @object Stored Procedure | usp_DamageMended | 2014-11-03 13:09:30
CREATE PROCEDURE dbo.usp_DamageMended
    @ReportId int
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.DamageReport
           SET Outcome = 'M'
         WHERE ReportId = @ReportId AND Outcome IN ('O');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Damage report %d is not O; it cannot move to M.', 16, 1, @ReportId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object Stored Procedure | usp_DamageWriteOff | 2014-11-03 13:28:34
CREATE PROCEDURE dbo.usp_DamageWriteOff
    @ReportId int,
    @Note    nvarchar(200) = NULL
AS
BEGIN
    SET NOCOUNT ON;
    SET XACT_ABORT ON;
    BEGIN TRANSACTION;
        UPDATE dbo.DamageReport
           SET Outcome = 'W'
         WHERE ReportId = @ReportId AND Outcome IN ('O');
        IF @@ROWCOUNT = 0
        BEGIN
            ROLLBACK TRANSACTION;
            RAISERROR(N'Damage report %d is not O; it cannot move to W.', 16, 1, @ReportId);
            RETURN 1;
        END;
    COMMIT TRANSACTION;
    RETURN 0;
END;

-- @object View | vw_DamagedCopies | 2014-11-03 14:01:14
CREATE VIEW dbo.vw_DamagedCopies
AS
SELECT dr.ReportId,
       c.Barcode AS CopyBarcode,
       dr.CopyId,
       dr.LoanId,
       dr.ReportedOn,
       dr.Damage,
       dr.RepairCost
  FROM dbo.DamageReport AS dr
  JOIN dbo.Copy AS c ON c.CopyId = dr.CopyId
 WHERE dr.Outcome IN ('O', 'M');

-- @object Trigger | tr_DamageReport_NoDelete | 2018-01-16 19:17:35
CREATE TRIGGER dbo.tr_DamageReport_NoDelete ON dbo.DamageReport
INSTEAD OF DELETE
AS
BEGIN
    SET NOCOUNT ON;
    IF EXISTS (SELECT 1 FROM deleted WHERE Outcome <> 'O')
    BEGIN
        RAISERROR(N'Only damage report rows still at O can be deleted; the others are kept for the record.', 16, 1);
        RETURN;
    END;
    DELETE t FROM dbo.DamageReport AS t JOIN deleted AS d ON d.ReportId = t.ReportId;
END;
